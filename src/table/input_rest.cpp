// The lines of the input are its LFs, and one more when bytes follow the last LF;
// behind a Ctrl-Z the bytes are taken as stored, so a CR LF there is still one LF.
#include "table/input_rest.h"

#include <algorithm>
#include <string_view>

#include "run/numbers/scan.h"
#include "table/diagnostics.h"

namespace floveran {

InputRest read_rest_of_input(TextInput& in) {
  InputRest rest;
  while (skip_line(in)) {
  }
  bool open_line = in.last_byte >= 0 && in.last_byte != '\n';  // bytes follow the last LF
  std::int64_t line_ends_past_end = 0;
  bool showing = true;
  while (read_past_end(in)) {
    const std::string_view block(window_begin(in), in.end - in.pos);
    in.pos = in.end;
    if (showing) {
      const std::size_t lf = block.find('\n');
      const std::size_t room = kShownTextBytes - rest.ctrl_z_text.size();
      rest.ctrl_z_text.append(block.substr(0, std::min(lf, room)));
      showing = lf == std::string_view::npos && rest.ctrl_z_text.size() < kShownTextBytes;
      if (lf != std::string_view::npos && lf <= room && rest.ctrl_z_text.ends_with('\r')) {
        rest.ctrl_z_text.pop_back();  // the CR of a CR LF line end
      }
    }
    line_ends_past_end += std::count(block.begin(), block.end(), '\n');
    rest.data_past_ctrl_z = rest.data_past_ctrl_z || std::any_of(block.begin(), block.end(), [](char c) {
                              return !is_space(static_cast<unsigned char>(c)) && c != '\x1a';
                            });
    open_line = block.back() != '\n';
  }
  in.error = 0;
  rest.lines = in.line_ends + line_ends_past_end + (open_line ? 1 : 0);
  return rest;
}

}  // namespace floveran
