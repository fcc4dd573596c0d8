// The editing of one number by one descriptor (Iw, Fw.d, Gw.d, Ew.d), as
// the line writer produces it: right-aligned in the field, asterisks when it
// does not fit, SP's plus sign on request. Also for the few places that edit
// a single field.
#pragma once

#include <cstdint>
#include <string>

namespace vok {

std::string edit_integer(std::int64_t value, int width, bool sign_plus = false);
std::string edit_fixed(double value, int width, int digits, bool sign_plus = false);
std::string edit_general(double value, int width, int digits, bool sign_plus = false);
std::string edit_exponent(double value, int width, int digits, bool sign_plus = false);

}  // namespace vok
