#!/usr/bin/env bash
# The includes of src/ point one way: program -> table -> streams, numbers,
# convert. Fails, naming each offending line, when a file includes a layer above
# its own or a sibling it must not know:
#   run/streams   only run/streams
#   run/numbers   only run/numbers
#   convert       only convert
#   table         table, run/streams, run/numbers, convert
#   run/program   everything
#
#   include_layers.sh SOURCE_DIR
set -u
src=${1:?usage: include_layers.sh SOURCE_DIR}/src
status=0
check() {
  local folder=$1 allowed=$2
  while IFS= read -r hit; do
    echo "layering: $hit"
    status=1
  done < <(grep -rn '#include "' "$src/$folder" | grep -Ev "#include \"($allowed)/")
}
check run/streams 'run/streams'
check run/numbers 'run/numbers'
check convert 'convert'
check table 'table|run/streams|run/numbers|convert'
[ $status -eq 0 ] && echo "includes point one way"
exit $status
