#!/usr/bin/env bash
# A small mutation pass over the plug-in code: each mutation (flip a
# comparison, drop a check, move a bound by one) is applied alone, the native
# build's tests are run, and the mutation is reported killed (some test
# failed) or survived. The tree is restored after each one.
# Usage: scripts/mutation_pass.sh        (after the native build)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset native >/dev/null

# FILE|FROM|TO: the first line holding FROM has it replaced by TO.
mutations=(
  "archive/member_table.cpp|table_size > 12|table_size > 8"
  "archive/member_table.cpp|table_size % 4 == 0|table_size % 2 == 0"
  "archive/member_table.cpp|table_size <= kLargestTable|table_size < kLargestTable"
  "archive/member_table.cpp|words[i + 1] <= words[i]|words[i + 1] < words[i]"
  "archive/member_table.cpp|BoundariesIncrease(words, 1, table->word_count - 2)|BoundariesIncrease(words, 1, table->word_count - 1)"
  "archive/archive_listing.cpp|seen / 4 - 2|seen / 4 - 1"
  "archive/archive_listing.cpp|record->stored_size > 1|record->stored_size > 0"
  "archive/archive_listing.cpp|index >= table_size / 4 - 2|index > table_size / 4 - 2"
  "archive/archive_listing.cpp|if (*c != 0) return false;|"
  "archive/archive_listing.cpp|*info_slot = nullptr;|"
  "archive/member_extraction.cpp|chunks = static_cast<std::int32_t>(size);|chunks = static_cast<std::int32_t>(size) - 1;"
  "archive/member_extraction.cpp|if (rest != 0 \&\& !ReadSource(input, block, rest)) return false;|"
  "archive/member_extraction.cpp|name_length >= kPathUnits|name_length > kPathUnits"
  "archive/member_extraction.cpp|written == size \&\& |"
  "archive/member_extraction.cpp|if (size > 0xFFFFFFFFu) {|if (size > 0xFFFFFFFFu \&\& false) {"
  "picture/picture_header.cpp|read.width >= 1|read.width >= 0"
  "picture/picture_header.cpp|read.reserved == 0|true"
  "picture/picture_decoding.cpp|if (layout.pad != 0) {|if (layout.pad > 1) {"
  "picture/picture_decoding.cpp|ProgressSaysStop(progress, header.height, header.height, user_data)|false"
  "support/input_source.cpp|size >= 0 \&\&|"
  "support/input_source.cpp|offset >= static_cast<std::uint64_t>(input.end - input.base)|offset > static_cast<std::uint64_t>(input.end - input.base)"
  "support/input_source.cpp|probe_word > 0xFFFFu|probe_word > 0x10000u"
  "support/input_source.cpp|if (got < count) std::memset(out + got, 0, count - got);|"
)
killed=0 survived=0
for m in "${mutations[@]}"; do
  IFS='|' read -r file from to <<<"$m"
  cp "$file" "$file.orig"
  python3 - "$file" "$from" "$to" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace('\\&', '&'), sys.argv[3].replace('\\&', '&')
text = open(path).read()
assert old in text, "mutation does not apply: " + old
open(path, "w").write(text.replace(old, new, 1))
PY
  if cmake --build --preset native >/dev/null 2>&1 && ctest --preset native -j "$(nproc)" >/dev/null 2>&1; then
    echo "SURVIVED  $file: $from -> $to"
    survived=$((survived + 1))
  else
    echo "killed    $file: $from -> $to"
    killed=$((killed + 1))
  fi
  mv "$file.orig" "$file"
done
cmake --build --preset native >/dev/null
echo "mutations: $killed killed, $survived survived"
