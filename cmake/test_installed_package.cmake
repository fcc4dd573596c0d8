# Installs the build in BUILD_DIR into a scratch prefix below WORK_DIR, builds
# SOURCE_DIR/examples/cpp against it as a separate project and runs the
# example program on the shipped example data: it must print a line for each
# of the example's 12 frames.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/vok/vok.h include/vok/sink.h include/vok/missing.h lib/libvok.a lib/libvok.so lib/cmake/vok/vokConfig.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The installed library is the analysis alone: none of the console program's
# code (control files, data files and their reading in src/input, the run
# loop, its output files, the lines it writes for the analysis' messages) is
# in libvok.a or libvok.so, and libvok.so exports the public API only.
find_program(NM nm)
if(NM)
  foreach(lib lib/libvok.a lib/libvok.so)
    run(${NM} -C --defined-only ${prefix}/${lib})
    string(REGEX MATCHALL "[^\n]*vok::(run_program|read_shared_settings|run_one|FolderLock|RecordFormat|RowBlock|TextFile|JoinedText|FieldReaders|SourceLine|detail_line|write_detail|file_exists|commit_run|Execution|write_message|message_lines|Channel|ChannelGroup|Channels|Layout|free_format)[^\n]*"
           console_symbols "${output}")
    if(console_symbols)
      message(FATAL_ERROR "${lib} holds console-program code:\n${console_symbols}")
    endif()
    # Nor the console program's renderers of results into its lines
    # (src/report): the library returns values and writes no line.
    string(REGEX MATCHALL "[^\n]*vok::(RunWriter|RunChannels|program_run_channels|frw|winhead|shwx|graph_record|graph_caption|xy_record|xy_caption|write_summary|write_refusal|write_bootstrap_block|write_false_alarm_line|wrstat|head|write_closing_stamp|disvar|var|frames_table[a-z_]*)(\\[abi:cxx11\\])?\\([^\n]*"
           report_symbols "${output}")
    string(REGEX MATCHALL "[^\n]*vok::(RunWriter|FramesTableWriter)::[^\n]*" report_classes "${output}")
    if(report_symbols OR report_classes)
      message(FATAL_ERROR "${lib} holds the console program's report lines:\n${report_symbols}${report_classes}")
    endif()
  endforeach()
  # (GCC exports the resolver of a function compiled for several
  # instruction sets whatever its visibility: resample_indices' is allowed.)
  run(${NM} -C -D --defined-only ${prefix}/lib/libvok.so)
  string(REGEX MATCHALL "[^\n]* [TWV] vok::[^\n]*" exported "${output}")
  foreach(symbol ${exported})
    if(NOT symbol MATCHES " vok::(analyse|analyse_interruptibly|plan_rows|lags|frame_count|FramePlan::of|qvalues|ResultCollector::|name|describe|Settings::check|violation|Error::reason|Frame::|summarise|percent_of|binomial_upper_tail|reported_thresholds|to_string|parse|resample_indices)|for vok::(Error|Cancelled)")
      message(FATAL_ERROR "libvok.so exports more than the API: ${symbol}")
    endif()
  endforeach()
endif()

# The library writes nothing: neither installed library calls on the
# standard streams or the functions that write to them.
if(NM)
  foreach(lib lib/libvok.a lib/libvok.so)
    run(${NM} -C -u ${prefix}/${lib})
    string(REGEX MATCHALL "[^\n]* U (stdout|stderr|fwrite|printf|fprintf|vprintf|vfprintf|puts|fputs|putchar|fputc|putc|perror|std::cout|std::cerr|std::clog)(@[^\n]*)?\n"
           writers "${output}\n")
    if(writers)
      message(FATAL_ERROR "${lib} writes to the standard streams:\n${writers}")
    endif()
  endforeach()
endif()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/cpp -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/vok-example ${SOURCE_DIR}/examples/example.dat)
string(REGEX MATCHALL "\n *[0-9]+ +[0-9]+ +[0-9]+ " frames "\n${output}")
list(LENGTH frames count)
if(NOT count EQUAL 12)
  message(FATAL_ERROR "expected 12 frame lines, found ${count}:\n${output}")
endif()
if(NOT output MATCHES "\n +1 +1 +200 +0\\.4523 ")
  message(FATAL_ERROR "frame 1 does not show the example's p-values:\n${output}")
endif()
message(STATUS "installed package: example built and run\n${output}")
