#include "run/run_end.h"

#include <cstdlib>

#include "run/text_output.h"

namespace floveran {

void end_run(std::string_view message, int status) {
  print(message);
  std::exit(status);
}

}  // namespace floveran
