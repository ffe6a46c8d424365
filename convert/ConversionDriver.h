#pragma once

#include "convert/Conversion.h"
#include "job/ConversionJob.h"
#include "platform/Status.h"

#include <string>

// The main window's side of a conversion without its widgets: the Convert/Stop command with
// its checks and prompts, the elapsed-time line, graph events and the end of the conversion.
// The window forwards its button, timer and WM_GRAPHNOTIFY to these and shows what the host
// is told.

constexpr int kConversionTimerId = 1112;
constexpr int kConversionTimerPeriodMs = 1000;
// Offered in the warning about a missing video compressor.
extern const char *const kDivxDownloadPage;

void OnConvert(ConversionJob &dlg, Conversion &conversion);
// Timer 1112: one more second in the status line.
void OnConversionTimer(ConversionJob &dlg, ConversionHost &host);
// Drains the graph's events; finishes on completion and on a failure of the running graph.
long OnGraphNotify(ConversionJob &dlg, Conversion &conversion);
// Stops and releases the graph (a graph still running is first allowed to complete its file,
// every stream ending at the same time), reads the file back and checks it, puts it in place
// over the output or removes it, restores the controls and shows how it ended: the "Done" line,
// the stopped line, or the failure (also reported). conversion.m_result says which.
// Returns the graph's stop: S_OK when the file was completed, S_FALSE when the graph failed,
// E_FAIL when the writer did not finish in time.
HRESULT FinishConversion(ConversionJob &dlg, Conversion &conversion);
// Builds the timeline and starts the graph writing conversion's output file (see
// PrepareOutputFile). False after a report when nothing runs; the output file is then removed.
bool StartConversion(ConversionJob &dlg, Conversion &conversion);
// The temporary the conversion writes, to be put in place over target when it is complete.
// With replace false an existing target is never replaced. False after a report.
bool PrepareOutputFile(Conversion &conversion, const std::string &target, bool replace);
// Sets the DivX codec's "Disable feedback" value where that codec keeps its settings.
void SuppressCodecFeedback();

// "Please wait... Used Time: 01:01:01"
std::string ElapsedTimeText(int seconds);
// "Done. Output file: /x.wmv     Resolution: 640*480"
std::string DoneText(const ConversionJob &dlg);
// "Stopped: 41.50 s of 120.00 s written. Output file: /x.wmv     Resolution: 640*480"
std::string StoppedText(const ConversionJob &dlg, REFERENCE_TIME written, REFERENCE_TIME length);
// The start mark before the end mark; reports both marks otherwise.
bool CheckMarks(const ConversionJob &dlg);
// Checks an output path before anything is started: not the opened video itself, nothing but
// a regular file there, its folder exists and can be written. Reports why not and returns
// false otherwise.
bool CheckOutputPath(const ConversionJob &dlg);
