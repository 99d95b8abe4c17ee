# Writes OUT, a source file holding the MD5 digest of LIBRARY, rewritten only
# when the digest changes.
file(MD5 "${LIBRARY}" digest)
set(text "// Generated from the application library the program was built with.\nextern const char kAppLibraryDigest[];\n__attribute__((used)) const char kAppLibraryDigest[] = \"${digest}\";\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUT}" "${text}")
endif()
