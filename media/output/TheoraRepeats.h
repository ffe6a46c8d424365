#pragma once

typedef struct _GstElement GstElement;

namespace media {

// libtheora codes a picture that does not differ from the one before as an empty packet, which
// the format allows but readers such as ffmpeg's skip as no frame at all: the file then seems to
// lose pictures wherever the scene stands still. This replaces each empty packet a Theora
// encoder puts out by an inter frame in which no block is coded, which every reader decodes as
// the same picture again.
void FillRepeatedPictures(GstElement *theoraEncoder);

} // namespace media
