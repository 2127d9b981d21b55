#pragma once

// The answers to --help and --version, on standard output, where a user who
// asks reads them and a script captures them. Each ends the process with
// status 0.
namespace vx::Usage {

void printHelp();
void printVersion();  // "Ventilux <version>", the version as the build names it

}  // namespace vx::Usage
