#pragma once

#include "job/ConversionJob.h"
#include "settings/CompressorChoices.h"

#include <optional>
#include <string>

// Which encoders a conversion from the command line uses, and what frame size they take.

// Binds the encoder for a category: the one named (--video-encoder/--audio-encoder; "copy" keeps
// the source's stream where the container can hold it), else the window's stored choice when it
// suits the container, else the container's usual one, into the job's settings for its format; the
// use flag says whether a compressor is used. False after a message.
bool ChooseEncoder(CompressorCategory category, const std::optional<std::string> &option,
                   const SettingsStore &store, ConversionJob *job);

// The frame size checked against the chosen video encoder: within what it takes, and even
// where it needs even sides (an odd side is rounded up, with a note). Returns 0, or 1 after a
// message.
int CheckFrameSize(ConversionJob &dlg);
