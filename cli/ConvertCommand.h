#pragma once

// `clipwright-cli convert`: the same probe, timeline and output graph as the window program.
// argv[0] is "convert". Returns the process exit code: 0 when the whole file was written,
// 1 on a failure, 2 for wrong usage, 130/143 when stopped by SIGINT/SIGTERM (the file written so
// far is complete in itself).
int RunConvertCommand(int argc, char **argv);
