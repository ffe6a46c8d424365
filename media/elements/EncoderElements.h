#pragma once

// Our own encoder elements over libavcodec: cwenc_wmv1, cwenc_wmv2, cwenc_msmpeg4 (MS-MPEG-4
// v3) and cwenc_mpeg4 (MPEG-4 Part 2) for video, cwenc_wmav1 and cwenc_wmav2 for audio. They
// replace the stock avenc_* elements for these codecs, which ignore the bitrate in this
// GStreamer release. The same plugin holds cwscale, the render engine's scaler (FrameScaler.h),
// cwstage, which spares x264enc's look-ahead its raw pictures (PictureStage.h), and cwmux_ogg,
// the Ogg writer over libogg (OggWriter.h).
namespace media {

// Registers the elements with GStreamer, once per process; gst_init must have succeeded.
// Returns false when registration failed (the elements are then simply not installed).
bool RegisterEncoderElements();

} // namespace media
