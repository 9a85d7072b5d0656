# Writes OUT: every file under DIR/certs and DIR/names (and the token keys) as a byte string in a
# C++ table, so the suite carries its fixtures wherever it runs (under Wine
# no host path has to be mapped).
file(GLOB_RECURSE files RELATIVE ${DIR} ${DIR}/certs/* ${DIR}/names/* ${DIR}/tokens/*.json ${DIR}/tokens/*.key)
list(SORT files)
set(body "")
foreach(f ${files})
  file(READ ${DIR}/${f} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" literal "${hex}")
  string(APPEND body "    {\"${f}\", std::string(\"${literal}\", ${size})},\n")
endforeach()
file(WRITE ${OUT}.tmp "// Generated from tests/fixtures by embed_fixtures.cmake.\n#include \"fixtures.h\"\n\n#include <map>\n\nconst std::map<std::string, std::string>& fixtureTable()\n{\n  static const std::map<std::string, std::string> table = {\n${body}  };\n  return table;\n}\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
