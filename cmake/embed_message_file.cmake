# Writes the bytes of the file INPUT as the C++ source OUTPUT (see event_messages.cmake).
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from mefwupdate-messages.dll by cmake/embed_message_file.cmake.
#include \"platform/event_message_file.h\"

namespace platform {

const unsigned char eventMessageFile[] = {
${bytes}
};
const std::size_t eventMessageFileSize = ${size};

}  // namespace platform
")
