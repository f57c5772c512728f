// LORN logging: what the recorder keeps of both calls and the text sink's lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/lorn.h"
#include "support/zelm_test.h"
#include "zelm_standin.h"

namespace {

constexpr uint32_t kModId = 0x80cf0026u;

// Collects what a text sink writes.
class TextCapture {
public:
    TextCapture() { stream_ = open_memstream(&buf_, &len_); }
    ~TextCapture()
    {
        if (stream_ != nullptr) {
            std::fclose(stream_);
        }
        std::free(buf_);
    }
    FILE *Stream() { return stream_; }
    std::string Text()
    {
        std::fflush(stream_);
        return std::string(buf_, len_);
    }

private:
    char *buf_ = nullptr;
    size_t len_ = 0;
    FILE *stream_ = nullptr;
};

class LornTest : public StandinTest {};

TEST_F(LornTest, PlainCallRecordsItsArgumentsAndBody)
{
    const char *fmt = "%s:zelm link add locIndex %u, chan %#x.";
    LORN_LogWrite(LORN_LEVEL_INFO, 0u, 0u, fmt, "ZelmLinkAddLocation", 12u, 0x30u);
    ASSERT_EQ(STANDIN_LogCount(), 1u);
    const STANDIN_LogEvent *ev = STANDIN_LogGet(0);
    EXPECT_EQ(ev->diagnostic, 0u);
    EXPECT_EQ(ev->level, LORN_LEVEL_INFO);
    EXPECT_STREQ(ev->funcName, "ZelmLinkAddLocation");
    EXPECT_STREQ(ev->body, "zelm link add locIndex 12, chan 0x30.");
    EXPECT_STREQ(ev->line, "ZelmLinkAddLocation:zelm link add locIndex 12, chan 0x30.");
    LORN_LogWrite(LORN_LEVEL_INFO, 0u, 0u, "%s:100%% of %u", "Fn", 4u);
    EXPECT_STREQ(STANDIN_LogGet(1)->body, "100% of 4");
}

TEST_F(LornTest, DiagnosticCallPutsTheCodeBeforeTheFunction)
{
    LORN_DLogWrite(kModId, LORN_LEVEL_ERROR, "[%#x]%s:bad index %u.", 0xFFFFFFFFu, "Fn", 9u);
    LORN_DLogWrite(kModId, LORN_LEVEL_INFO, "[%#x]%s:index %u.", 0u, "Fn", 9u);
    ASSERT_EQ(STANDIN_LogCount(), 2u);
    const STANDIN_LogEvent *err = STANDIN_LogGet(0);
    EXPECT_EQ(err->diagnostic, 1u);
    EXPECT_EQ(err->modId, kModId);
    EXPECT_EQ(err->level, LORN_LEVEL_ERROR);
    EXPECT_EQ(err->code, 0xFFFFFFFFu);
    EXPECT_STREQ(err->line, "[0xffffffff]Fn:bad index 9.");
    EXPECT_STREQ(err->body, "bad index 9.");
    const STANDIN_LogEvent *info = STANDIN_LogGet(1);
    EXPECT_STREQ(info->line, "[0]Fn:index 9.");
    EXPECT_STREQ(info->body, "index 9.");
}

TEST_F(LornTest, OneStoredFormatServesBothCallsWithTheSameBody)
{
    // The library passes the diagnostic format and, for the plain call, the same string after its "[%#x]".
    const char *diagFmt = "[%#x]%s:zelm loc %s lost, result %d.";
    LORN_LogWrite(LORN_LEVEL_ERROR, 0xFFFFFFFFu, 0u, diagFmt + 5, "Fn", "node-1", -3);
    LORN_DLogWrite(kModId, LORN_LEVEL_ERROR, diagFmt, 0xFFFFFFFFu, "Fn", "node-1", -3);
    ASSERT_EQ(STANDIN_LogCount(), 2u);
    EXPECT_STREQ(STANDIN_LogGet(0)->body, STANDIN_LogGet(1)->body);
    EXPECT_STREQ(STANDIN_LogGet(0)->body, "zelm loc node-1 lost, result -3.");
    EXPECT_EQ(STANDIN_LogGet(0)->code, STANDIN_LogGet(1)->code);
}

TEST_F(LornTest, LongMessagesAreNotCut)
{
    const std::string longText(10000, 'x');
    LORN_LogWrite(LORN_LEVEL_INFO, 0u, 0u, "%s:%s|end", "Fn", longText.c_str());
    ASSERT_EQ(STANDIN_LogCount(), 1u);
    EXPECT_EQ(std::string(STANDIN_LogGet(0)->body), longText + "|end");
}

TEST_F(LornTest, TextSinkWritesOneLinePerPlainEvent)
{
    TextCapture out;
    STANDIN_LogSetSink(STANDIN_LOG_TEXT, out.Stream());
    STANDIN_RunUntil(12500);
    LORN_LogWrite(LORN_LEVEL_INFO, 0u, 0u, "%s:zelm link %u", "ZelmLinkAddLocation", 3u);
    LORN_DLogWrite(kModId, LORN_LEVEL_INFO, "[%#x]%s:zelm link %u", 0u, "ZelmLinkAddLocation", 3u);
    LORN_LogWrite(LORN_LEVEL_ERROR, 0xFFFFFFFFu, 0u, "%s:failed", "Fn");
    LORN_LogWrite(2u, 0u, 0u, "%s:other level", "Fn");
    EXPECT_EQ(out.Text(), "000012.500 INFO  ZelmLinkAddLocation: zelm link 3\n"
                          "000012.500 ERROR Fn: failed\n"
                          "000012.500 2     Fn: other level\n");
    EXPECT_EQ(STANDIN_LogCount(), 0u);
    EXPECT_EQ(STANDIN_LogTotal(), 4u);
}

}  // namespace
