// The tool's system calls (tools/export/System.h) in the page's worker, for
// the export of the open profile: standard output goes to the page a piece
// at a time, as the tool writes it, and the page saves the pieces as one
// download; standard error goes to the page to be shown.  The tool's end
// (exit) comes back to the worker as the status it ended with.  The page
// writes no file of its own: what --sqlite needs is refused.
#include <emscripten.h>

#include <cerrno>
#include <cstdlib>

#include "tools/export/System.h"

namespace ondrel::tool {
namespace {

EM_JS(void, PostOutput, (int stream, const char* data, double size), {
  const bytes = HEAPU8.slice(data, data + size);
  postMessage({type: "output", stream: stream, bytes: bytes}, [bytes.buffer]);
});

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

std::string DatabaseNameFromArgument(const std::string& typed) { return typed; }

void PrepareStandardStreams() {}

bool WriteAll(Stream stream, const char* data, std::size_t size) {
  if (size > 0) PostOutput(stream == Stream::Out ? 1 : 2, data, static_cast<double>(size));
  return true;
}

bool IsTerminal(Stream) { return false; }

void EndNow(int status) { std::exit(status); }

NameKind KindOfName(const std::string&) { return NameKind::Other; }

bool CreateTemporaryFile(const std::string&, std::string&) {
  errno = EROFS;
  return false;
}

bool SyncFile(const std::string&) { return false; }

bool RenameReplacing(const std::string&, const std::string&) {
  errno = EROFS;
  return false;
}

void RemoveFile(const char*) {}

void CatchEndingSignals(void (*)(int)) {}

void ReleaseEndingSignals() {}

}  // namespace ondrel::tool
