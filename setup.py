"""The extension module vok._vok for pip: pybind11's helpers compile the
module and the library's sources (src/) in parallel, with the flags the CMake
build uses (C++20, no contraction of a*b+c into fused multiply-adds)."""
import glob
import os

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

ParallelCompile("NPY_NUM_BUILD_JOBS", default=os.cpu_count() or 1).install()

extension = Pybind11Extension(
    "vok._vok",
    sorted(["python/src/module.cpp", *glob.glob("src/*/*.cpp")]),
    include_dirs=["src", "include"],
    cxx_std=20,
    extra_compile_args=["-O2", "-ffp-contract=off"],
    extra_link_args=["-pthread"],
)

# Out of CMake's build folder: pip's objects in a folder of their own.
setup(ext_modules=[extension], cmdclass={"build_ext": build_ext},
      options={"build": {"build_base": "build-pip"}})
