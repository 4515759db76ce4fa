// What the record loop left of the input when it stopped: the rest read to the end
// of the file, past a Ctrl-Z too, only to count the lines of the whole input and
// to tell whether a Ctrl-Z cut off more than white space.
#pragma once

#include <cstdint>
#include <string>

#include "run/streams/text_input.h"

namespace floveran {

struct InputRest {
  std::int64_t lines = 0;         // lines of the whole input, as in the file
  bool data_past_ctrl_z = false;  // a Ctrl-Z ended the input with more than white
                                  // space (and Ctrl-Z bytes) behind it
  std::string ctrl_z_text;        // the Ctrl-Z and the bytes behind it, up to
                                  // kShownTextBytes, in front of the next line end
};

// Reads the input to its end and past a Ctrl-Z to the end of the file. A read
// error only ends the count: it is not kept, since the run itself read all it
// needed.
InputRest read_rest_of_input(TextInput& in);

}  // namespace floveran
