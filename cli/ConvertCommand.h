#pragma once

#include <string>

// `clipwright-cli convert`: the same probe, timeline and output graph as the window program.
// argv[0] is "convert". Returns the process exit code: 0 when the whole file was written,
// 1 on a failure (OUTPUT is then as it was), 2 for wrong usage, 130/143/129 when stopped by
// SIGINT/SIGTERM/SIGHUP (the file written so far is complete, checked and in place, or, when
// nothing was written yet, OUTPUT is as it was).
int RunConvertCommand(int argc, char **argv);

struct ConvertOptions;
struct ConversionJob;
class SettingsStore;

// The job for one input from the options, over the window's settings in store (checked as the
// options are; a value out of range is replaced, with a note): the input probed, format, size,
// rate, bitrates and section. Returns 0, or the exit code after a message.
int SetUpJob(const ConvertOptions &o, const SettingsStore &store, const std::string &input,
             const std::string &output, ConversionJob &dlg);

// SIGINT, SIGTERM and SIGHUP stop a conversion, except one the program was started with ignored
// (nohup): that one stays ignored. Called before the media platform starts: our
// handlers are in place and the signals are held, so a plugin loader that starts an embedded
// interpreter neither swallows them nor dies of them.
void HoldStopSignalsDuringStartUp();
// After the media platform has started: our handlers again, and a signal that came during
// start-up is honoured.
void ReleaseStopSignalsAfterStartUp();
void InstallStopHandlers();
