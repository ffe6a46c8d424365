#pragma once

typedef struct _GstElement GstElement;

namespace media {

// Some sound encoders (voaacenc) code whole frames only and drop the samples of a last frame
// that is not full: a sound shorter than one frame (a section of a frame or two) gave no packet
// and the file no sound track. A sound of less than one frame is completed with silence at
// end-of-stream (a section where the source has no sound left gets one silent frame); a longer
// one has its last frame completed when at least half of it is there, and dropped otherwise,
// so its end moves by at most half a frame.
void CompleteLastSoundFrame(GstElement *encoder, int frameSamples);

// A picture cut by the end of its file (a start mark inside the file's last picture) lasts a
// few nanoseconds, which MP4 keeps as no time at all: its track was left out of the file. Every
// picture leaving the encoder lasts at least one frame of its rate.
void KeepWholePictures(GstElement *encoder);

} // namespace media
