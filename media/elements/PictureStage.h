#pragma once

#include <gst/gst.h>

// cwstage: hands each picture on in one staging picture that it reuses. x264enc copies a
// picture into the encoder as soon as it gets it, yet keeps the buffer until the picture's
// frame comes out, which is its whole look-ahead: some fifty raw pictures, held only to be let
// go. Behind cwstage it holds fifty views of one picture instead. It must sit right before such
// an encoder, in the encoder's thread: the staging picture is rewritten as soon as the encoder
// has taken the one before.
namespace media {

// Registers cwstage into plugin; false when that failed.
bool RegisterPictureStage(GstPlugin *plugin);

// Whether the encoder copies each picture at once but keeps its buffer until the frame leaves,
// so a cwstage before it saves that memory.
bool KeepsCopiedPictures(GstElement *encoder);

} // namespace media
