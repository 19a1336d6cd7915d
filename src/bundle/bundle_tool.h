// The command line of the bundle tool (wrapper-bundle): pack, list and verify.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// Packing inputs at least this large report progress on the error stream.
inline constexpr std::uint64_t kPackProgressThreshold = std::uint64_t{32} << 20;

// Runs one command; `args` are the UTF-8 arguments after the program name. Returns the exit
// code: 0 on success, 1 when the command fails, 2 for a usage error.
//   pack <folder> <out.dat>   writes the bundle of every file under the folder
//   list <bundle>             one line per file: name, offset, size (tab-separated)
//   verify <bundle>           loads the bundle as the host does; on failure prints the reader's
//                             message alone on a line of the error stream
int RunBundleTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  std::uint64_t progressThreshold = kPackProgressThreshold);
