#pragma once

// The buffers behind the standard input and output: read and write in large
// blocks, convert between the program's CP850 and the user's character set
// where needed, and never take a failed read or write for the end of input
// or for success.
namespace io {

// Puts those buffers behind std::cin, std::cout and std::cerr. From then on
// a read or write that the system refuses throws std::ios_base::failure out
// of the stream operation that met it, so that nothing is read or written
// after it. Standard error's buffer alone throws nothing: once a write there
// fails, it writes nothing more, and error_output_failed() says so.
void set_up_standard_streams();

// A read of standard input's terminal made beside the stream (the pause's
// key) that failed: reported as the stream's own reads are, and thrown as
// they throw.
[[noreturn]] void fail_to_read(int error);

// Writes one line on standard error that names the program and the cause of
// the first failed read or write (never "Success": a failure that came
// without a cause is named EIO).
void report_stream_failure();

// Whether a write to standard error has failed: then the program cannot
// say what went wrong, and its exit status must.
bool error_output_failed();

}  // namespace io
