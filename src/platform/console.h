// The console: what the tool says, and how it reports a failure.
#pragma once

#include <string>
#include <string_view>

namespace vokt {

// Writes "name: <system error text>\n" on the error stream, the form in which
// every file failure is reported.
void report_file_error(std::string_view name, int error_number);

// `text` as a message quotes it: in double quotes, at most its first 40
// bytes (no Shift-JIS character cut in two) and then "...", each control
// byte and each first byte of a character without its second written as \x
// and two hexadecimal digits, so that a message stays short and puts only
// text on the console.
std::string quoted(std::string_view text);

// The console streams: unbuffered error stream, standard output as the C
// library buffers it.
void write_error(std::string_view text);
void write_output(std::string_view text);

}  // namespace vokt
