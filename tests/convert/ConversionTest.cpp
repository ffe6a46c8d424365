#include "convert/ConversionDriver.h"
#include "media/core/FilterInternal.h"
#include "media/core/MediaPlatform.h"
#include "media/encoders/CompressorEnumeration.h"
#include "media/output/CaptureGraphBuilder.h"
#include "settings/OutputContainers.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

using namespace media;

namespace {

struct Graph
{
    gst::Element pipeline{gst::Adopt(gst_pipeline_new(nullptr))};
    std::unique_ptr<CaptureGraphBuilder> builder;
    Graph()
    {
        EXPECT_EQ(CaptureGraphBuilder::Create(&builder), S_OK);
        EXPECT_EQ(builder->SetFiltergraph(pipeline.get()), S_OK);
    }
};

} // namespace

TEST(OutputGraph, WritersByIdentifierAndTheirSettings)
{
    ASSERT_TRUE(InitializeMediaPlatform());
    std::unique_ptr<CaptureGraphBuilder> bare;
    ASSERT_EQ(CaptureGraphBuilder::Create(&bare), S_OK);
    Filter mux, sink;
    EXPECT_EQ(bare->SetOutputFileName("avimux", "/tmp/x.avi", &mux, &sink), E_UNEXPECTED);

    // Every container's writer, as the table names it.
    int written = 0;
    for (int format = OutputFormatAvi; format <= OutputFormatOgm; ++format) {
        const OutputContainer *container = FindContainer(format);
        ASSERT_NE(container, nullptr) << format;
        Graph g;
        const HRESULT hr
            = g.builder->SetOutputFileName(container->muxer, "/tmp/never-written", &mux, &sink);
        if (!*container->muxer) {
            EXPECT_EQ(hr, REGDB_E_CLASSNOTREG) << container->name;
            continue;
        }
        ASSERT_EQ(hr, S_OK) << container->name;
        ++written;
        EXPECT_EQ(mux.FactoryName(), container->muxer);
        EXPECT_EQ(sink.FactoryName(), "filesink");
        EXPECT_EQ(SetOverwriteMode(sink), S_OK);
        EXPECT_EQ(SetOverwriteMode(mux), E_NOINTERFACE);
        const bool asf = container->windowsMedia;
        EXPECT_EQ(ConfigureAsfWriter(mux, {AsfStreamSettings{}}), asf ? S_OK : E_NOINTERFACE);
        if (asf)
            EXPECT_EQ(ConfigureAsfWriter(mux, {}), E_INVALIDARG);
    }
    EXPECT_EQ(written, 6);

    Graph g;
    EXPECT_EQ(g.builder->SetOutputFileName("nosuchmux", "/tmp/x", &mux, &sink),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(g.builder->LastError(), "The element \"nosuchmux\" is not installed.");
    // An element that writes no container is no writer.
    EXPECT_EQ(g.builder->SetOutputFileName("identity", "/tmp/x", &mux, &sink), E_INVALIDARG);
}

TEST(OutputGraph, AWriterThatRefusesAStreamSaysWhy)
{
    ASSERT_TRUE(InitializeMediaPlatform());
    Graph g;
    Filter mux, sink;
    ASSERT_EQ(g.builder->SetOutputFileName("mp4mux", "/tmp/never.mp4", &mux, &sink), S_OK);
    GstElement *source = gst_element_factory_make("videotestsrc", nullptr);
    gst_bin_add(GST_BIN(g.pipeline.get()), source);
    gst::Pad pad(gst_element_get_static_pad(source, "src"));
    // MP4 holds no uncompressed picture.
    EXPECT_EQ(g.builder->RenderStream(pad.get(), nullptr, mux), VFW_E_CANNOT_CONNECT);
    EXPECT_EQ(g.builder->LastError(),
              "The mp4mux multiplexer does not take this video uncompressed; choose a compressor.");

    // A compressor goes in as a copy under its name; the bound one stays out of the graph.
    Graph g2;
    ASSERT_EQ(g2.builder->SetOutputFileName("avimux", "/tmp/never.avi", &mux, &sink), S_OK);
    GstElement *source2 = gst_element_factory_make("videotestsrc", nullptr);
    gst_bin_add(GST_BIN(g2.pipeline.get()), source2);
    gst::Pad pad2(gst_element_get_static_pad(source2, "src"));
    Filter bound, added;
    ASSERT_EQ(CreateCompressor("x264enc", &bound), S_OK);
    EXPECT_EQ(g2.builder->RenderStream(pad2.get(), &bound, mux), E_UNEXPECTED);
    ASSERT_EQ(AddFilter(g2.pipeline.get(), bound, "VideoCompressor", &added), S_OK);
    EXPECT_FALSE(added.IsSameElement(bound));
    EXPECT_EQ(added.Name(), "VideoCompressor");
    EXPECT_EQ(GST_OBJECT_PARENT(ElementOf(bound)), nullptr);
    // A second copy under a name already taken keeps a name of its own, and the first copy
    // is looked up without a reference left behind.
    Filter second;
    const guint references = GST_OBJECT_REFCOUNT_VALUE(ElementOf(added));
    ASSERT_EQ(AddFilter(g2.pipeline.get(), bound, "VideoCompressor", &second), S_OK);
    EXPECT_NE(second.Name(), "VideoCompressor");
    EXPECT_EQ(GST_OBJECT_REFCOUNT_VALUE(ElementOf(added)), references);
    EXPECT_EQ(g2.builder->RenderStream(pad2.get(), &added, mux), S_OK);
}

// A batch converts file after file in one process: nothing of a finished graph may stay alive,
// neither the writer (gst-libav's keeps references to itself) nor the watched group pads.
TEST(OutputGraph, AFinishedGraphLetsGoOfItsWriterAndItsStreams)
{
    ASSERT_TRUE(InitializeMediaPlatform());
    QTemporaryDir dir;
    bool writerGone = false, padGone = false;
    auto gone = [](gpointer flag, GObject *) { *static_cast<bool *>(flag) = true; };
    {
        Graph g;
        Filter mux, sink;
        const std::string out = (dir.path() + "/out.wmv").toStdString();
        ASSERT_EQ(g.builder->SetOutputFileName("avmux_asf", out, &mux, &sink), S_OK);
        AsfStreamSettings video;
        video.video = true;
        video.encoder = "cwenc_wmv2";
        video.bitrate = 300000;
        ASSERT_EQ(ConfigureAsfWriter(mux, {video}), S_OK);
        GstElement *source = gst_element_factory_make("videotestsrc", nullptr);
        g_object_set(source, "num-buffers", 10, nullptr);
        gst_bin_add(GST_BIN(g.pipeline.get()), source);
        gst::Pad pad(gst_element_get_static_pad(source, "src"));
        ASSERT_EQ(g.builder->RenderStream(pad.get(), nullptr, mux), S_OK) << g.builder->LastError();
        g_object_weak_ref(G_OBJECT(ElementOf(mux)), gone, &writerGone);
        g_object_weak_ref(G_OBJECT(pad.get()), gone, &padGone);

        gst_element_set_state(g.pipeline.get(), GST_STATE_PLAYING);
        gst::Bus bus(gst_element_get_bus(g.pipeline.get()));
        gst::Message end(gst_bus_timed_pop_filtered(
            bus.get(), 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        ASSERT_TRUE(end);
        EXPECT_EQ(GST_MESSAGE_TYPE(end.get()), GST_MESSAGE_EOS);
        gst_element_set_state(g.pipeline.get(), GST_STATE_NULL);
    }
    EXPECT_TRUE(writerGone);
    EXPECT_TRUE(padGone);
}

TEST(OutputGraph, CodecFeedbackIsSwitchedOffOnlyWhereTheCodecKeepsItsSettings)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    const QString file = dir.path() + "/DivXNetworks/DivX4Windows.conf";
    SuppressCodecFeedback(); // no codec: nothing is created
    EXPECT_FALSE(QFile::exists(file));
    {
        QSettings codec(file, QSettings::IniFormat);
        codec.setValue("Disable feedback", 0);
        codec.setValue("Other", 7);
    }
    SuppressCodecFeedback();
    QSettings codec(file, QSettings::IniFormat);
    EXPECT_EQ(codec.value("Disable feedback").toInt(), 1);
    EXPECT_EQ(codec.value("Other").toInt(), 7);
    qunsetenv("XDG_CONFIG_HOME");
}
