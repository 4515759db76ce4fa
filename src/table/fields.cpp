// The scans of the table on the input stream, each the scanner of scan.h run on
// the stream's window by scan_input.
#include "table/fields.h"

namespace floveran {

int scan_ints(TextInput& in, std::int32_t* values, int count) {
  for (int assigned = 0; assigned < count; ++assigned) {
    const int result = scan_input(in, [&](const char* first, const char* last) {
                         return scan_int(first, last, values[assigned]);
                       }).result;
    if (result != 1) return result < 0 && assigned == 0 ? -1 : assigned;
  }
  return count;
}

int scan_double_in_window(TextInput& in, double& value) {
  return scan_input(in, [&](const char* first, const char* last) {
           return scan_double(first, last, value);
         }).result;
}

int skip_token(TextInput& in) {
  return scan_input(in, [](const char* first, const char* last) { return scan_token(first, last); }).result;
}

}  // namespace floveran
