// sprite_queue_test.cpp -- queued copies, the calls and state of one sprite's draw, reverse drawing and release order.
#include <string>
#include <vector>

#include "platform/gl.h"
#include "plugin/state/state.h"
#include "plugin/passes/sprite_queue.h"
#include "tests/support/plugin_fixture.h"

namespace {

using SpriteQueueTest = PluginTest;

Sprite plainSprite(float x)
{
    Sprite sprite = {};
    sprite.x = x;
    sprite.y = 2.0f;
    sprite.z = -13.0f;
    sprite.halfWidth = 3.0f;
    sprite.halfHeight = 2.0f;
    sprite.blendSrc = -1;
    sprite.blendDst = -1;
    sprite.alphaTest = -1;
    sprite.noDepthWrite = 0;
    sprite.frontTexture = 7;
    sprite.backTexture = -1;
    return sprite;
}

std::vector<float> queuedXs()
{
    std::vector<float> xs;
    for (Sprite* record = spriteQueue; record; record = record->next)
        xs.push_back(record->x);
    return xs;
}

// The x of every sprite drawn, in drawing order (each sprite's draw starts with one translation).
std::vector<double> drawnXs()
{
    std::vector<double> xs;
    for (size_t nth = 0; const fake::Call* call = fake::log().find("glTranslatef", nth); ++nth)
        xs.push_back(call->args[0]);
    return xs;
}

TEST_F(SpriteQueueTest, QueuedCopiesKeepQueueingOrderAndOwnTheirLinks)
{
    Sprite caller = plainSprite(1.0f);
    Sprite stray = plainSprite(99.0f);
    caller.next = &stray; // whatever the caller's link holds, the copy ends the list
    queueSprite(&caller);
    caller.x = 2.0f;
    queueSprite(&caller);
    caller.x = 3.0f;
    queueSprite(&caller);
    caller.x = 4.0f; // later changes stay with the caller

    EXPECT_EQ(queuedXs(), (std::vector<float>{1.0f, 2.0f, 3.0f}));
    EXPECT_NE(spriteQueue, &caller);
    EXPECT_EQ(spriteQueue->next->next->next, nullptr);
    EXPECT_EQ(spriteQueue->frontTexture, 7u);
    EXPECT_EQ(spriteQueue->halfWidth, 3.0f);
    EXPECT_EQ(fake::log().size(), 0u); // queueing draws nothing
}

TEST_F(SpriteQueueTest, ARecordTheHeapCannotSupplyIsLeftOut)
{
    Sprite caller = plainSprite(1.0f);
    queueSprite(&caller);
    fake::heap().recording = true;
    fake::heap().failing = {0};
    caller.x = 2.0f;
    queueSprite(&caller);
    caller.x = 3.0f;
    queueSprite(&caller);
    EXPECT_EQ(queuedXs(), (std::vector<float>{1.0f, 3.0f}));
}

TEST_F(SpriteQueueTest, NullListDrawsAndReleasesNothing)
{
    fake::heap().recording = true;
    drawSpriteList(nullptr, 1);
    EXPECT_EQ(fake::log().size(), 0u);
}

TEST_F(SpriteQueueTest, DrawsNewestFirstAndReleasesEachRightAfterDrawingIt)
{
    std::vector<Sprite*> records;
    for (float x : {1.0f, 2.0f, 3.0f}) {
        Sprite sprite = plainSprite(x);
        queueSprite(&sprite);
    }
    for (Sprite* record = spriteQueue; record; record = record->next)
        records.push_back(record);

    fake::heap().recording = true;
    drawSpriteList(spriteQueue, 1);
    spriteQueue = nullptr;

    EXPECT_EQ(drawnXs(), (std::vector<double>{3.0, 2.0, 1.0}));
    ASSERT_EQ(fake::log().count("free"), 3u);
    for (size_t drawn = 0; drawn < 3; ++drawn) {
        const Sprite* record = records[2 - drawn];
        const fake::Call* release = fake::log().find("free", drawn);
        EXPECT_EQ(release->args[0], (double)(uintptr_t)record);
        // Released after its own draw, before the draw of the record queued ahead of it.
        EXPECT_GT(fake::log().indexOf("free", drawn), fake::log().indexOf("glTranslatef", drawn));
        if (drawn < 2)
            EXPECT_LT(fake::log().indexOf("free", drawn), fake::log().indexOf("glTranslatef", drawn + 1));
    }
}

TEST_F(SpriteQueueTest, NonReleasingDrawKeepsTheQueueForAReleasingOne)
{
    for (float x : {1.0f, 2.0f, 3.0f}) {
        Sprite sprite = plainSprite(x);
        queueSprite(&sprite);
    }
    fake::heap().recording = true;
    drawSpriteList(spriteQueue, 0);
    EXPECT_EQ(fake::log().count("free"), 0u);
    EXPECT_EQ(queuedXs(), (std::vector<float>{1.0f, 2.0f, 3.0f}));

    drawSpriteList(spriteQueue, 1);
    spriteQueue = nullptr;
    EXPECT_EQ(drawnXs(), (std::vector<double>{3.0, 2.0, 1.0, 3.0, 2.0, 1.0}));
    EXPECT_EQ(fake::log().count("free"), 3u);
}

TEST_F(SpriteQueueTest, QuadCornersTextureCoordinatesAndPlacement)
{
    Sprite sprite = plainSprite(5.0f);
    sprite.angleZ = 180.0f;
    drawSprite(&sprite);

    ASSERT_EQ(fake::gl().batches.size(), 2u);
    for (const auto& batch : fake::gl().batches) {
        ASSERT_EQ(batch.size(), 4u);
        // Local corners (-w,-h) (-w,+h) (+w,+h) (+w,-h) with (s,t) (1,1) (1,0) (0,0) (0,1).
        const double local[4][2] = {{-3, -2}, {-3, 2}, {3, 2}, {3, -2}};
        const double texel[4][2] = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};
        for (int corner = 0; corner < 4; ++corner) {
            EXPECT_EQ(batch[corner].x, local[corner][0]);
            EXPECT_EQ(batch[corner].y, local[corner][1]);
            EXPECT_EQ(batch[corner].z, 0.0);
            EXPECT_EQ(batch[corner].s, texel[corner][0]);
            EXPECT_EQ(batch[corner].t, texel[corner][1]);
            // Turned half round about Z, then moved to (5, 2, -13).
            EXPECT_NEAR(batch[corner].ex, 5.0 - local[corner][0], 1e-6);
            EXPECT_NEAR(batch[corner].ey, 2.0 - local[corner][1], 1e-6);
            EXPECT_NEAR(batch[corner].ez, -13.0, 1e-6);
            EXPECT_EQ(batch[corner].color, (std::array<float, 4>{0.99f, 0.99f, 0.99f, 1.0f}));
        }
    }
    // Rotations about X, then Y, then Z, after the translation.
    EXPECT_EQ(fake::log().find("glRotatef", 0)->args, (std::vector<double>{0, 1, 0, 0}));
    EXPECT_EQ(fake::log().find("glRotatef", 1)->args, (std::vector<double>{0, 0, 1, 0}));
    EXPECT_EQ(fake::log().find("glRotatef", 2)->args, (std::vector<double>{180, 0, 0, 1}));
}

struct Fields {
    int blendSrc, blendDst, alphaTest, noDepthWrite, backTexture;
};

std::string describe(const Fields& fields)
{
    return "blend " + std::to_string(fields.blendSrc) + "/" + std::to_string(fields.blendDst) + " alpha " +
           std::to_string(fields.alphaTest) + " noDepthWrite " + std::to_string(fields.noDepthWrite) + " back " +
           std::to_string(fields.backTexture);
}

TEST_F(SpriteQueueTest, EveryCombinationOfRenderFieldsMakesItsExactCalls)
{
    std::vector<Fields> combinations;
    const std::vector<std::pair<int, int>> blends = {
        {-1, -1}, {-1, GL_ZERO}, {GL_ONE_MINUS_SRC_COLOR, -1}, {GL_ONE_MINUS_SRC_COLOR, GL_ONE_MINUS_DST_COLOR}};
    for (auto [src, dst] : blends)
        for (int alphaTest : {-1, (int)GL_GREATER})
            for (int noDepthWrite : {0, 1})
                for (int backTexture : {-1, 9})
                    combinations.push_back({src, dst, alphaTest, noDepthWrite, backTexture});

    for (const Fields& fields : combinations) {
        SCOPED_TRACE(describe(fields));
        fake::log().reset();
        fake::resetGl();
        drawIntensity = 0.5f;
        Sprite sprite = plainSprite(1.0f);
        sprite.blendSrc = fields.blendSrc;
        sprite.blendDst = fields.blendDst;
        sprite.alphaTest = fields.alphaTest;
        sprite.noDepthWrite = fields.noDepthWrite;
        sprite.backTexture = fields.backTexture;
        drawSprite(&sprite);

        const std::vector<std::string> quad = {"glBegin",     "glTexCoord2f", "glVertex3f", "glTexCoord2f",
                                               "glVertex3f",  "glTexCoord2f", "glVertex3f", "glTexCoord2f",
                                               "glVertex3f",  "glEnd"};
        std::vector<std::pair<std::string, std::vector<double>>> expected = {
            {"glLoadIdentity", {}},
            {"glTranslatef", {1, 2, -13}},
            {"glRotatef", {0, 1, 0, 0}},
            {"glRotatef", {0, 0, 1, 0}},
            {"glRotatef", {0, 0, 0, 1}}};
        if (fields.noDepthWrite)
            expected.push_back({"glDepthMask", {GL_FALSE}});
        if (fields.blendSrc != -1) {
            double dst = fields.blendDst == -1 ? fields.blendSrc : fields.blendDst;
            expected.push_back({"glBlendFunc", {(double)fields.blendSrc, dst}});
            expected.push_back({"glEnable", {GL_BLEND}});
        }
        if (fields.alphaTest != -1) {
            expected.push_back({"glAlphaFunc", {(double)fields.alphaTest, 0.0}});
            expected.push_back({"glEnable", {GL_ALPHA_TEST}});
        }
        expected.push_back({"glDisable", {GL_BLEND}});
        expected.push_back({"glColor4f", {(double)0.99f, (double)0.99f, (double)0.99f, 1}});
        expected.push_back({"glEnable", {GL_CULL_FACE}});
        expected.push_back({"glBindTexture", {GL_TEXTURE_2D, 7}});
        expected.push_back({"glCullFace", {GL_BACK}});
        for (const std::string& op : quad)
            expected.push_back({op, {}});
        if (fields.backTexture != -1)
            expected.push_back({"glBindTexture", {GL_TEXTURE_2D, (double)fields.backTexture}});
        expected.push_back({"glCullFace", {GL_FRONT}});
        for (const std::string& op : quad)
            expected.push_back({op, {}});
        expected.push_back({"glDisable", {GL_CULL_FACE}});
        expected.push_back({"glColor4f", {0.5, 0.5, 0.5, 1}});
        if (fields.blendSrc != -1)
            expected.push_back({"glDisable", {GL_BLEND}});
        if (fields.alphaTest != -1)
            expected.push_back({"glDisable", {GL_ALPHA_TEST}});
        if (fields.noDepthWrite)
            expected.push_back({"glDepthMask", {GL_TRUE}});

        const auto& calls = fake::log().calls();
        ASSERT_EQ(calls.size(), expected.size());
        for (size_t index = 0; index < calls.size(); ++index) {
            EXPECT_EQ(calls[index].op, expected[index].first) << "call " << index;
            if (!expected[index].second.empty())
                EXPECT_EQ(calls[index].args, expected[index].second) << "call " << index;
        }

        // While each face is drawn: opaque, culled, alpha-tested and depth-masked as the record asks.
        ASSERT_EQ(fake::gl().batchStates.size(), 2u);
        for (int face = 0; face < 2; ++face) {
            const fake::BatchState& state = fake::gl().batchStates[face];
            EXPECT_FALSE(state.enabled.count(GL_BLEND));
            EXPECT_TRUE(state.enabled.count(GL_CULL_FACE));
            EXPECT_EQ(state.enabled.count(GL_ALPHA_TEST) != 0, fields.alphaTest != -1);
            EXPECT_EQ(state.depthMask, fields.noDepthWrite ? GL_FALSE : GL_TRUE);
            EXPECT_EQ(state.cullFace, face == 0 ? (GLenum)GL_BACK : (GLenum)GL_FRONT);
        }
        EXPECT_EQ(fake::gl().batchStates[1].bound.at(GL_TEXTURE_2D),
                  fields.backTexture == -1 ? 7u : (GLuint)fields.backTexture);
        // And afterwards the baseline again.
        EXPECT_FALSE(fake::gl().isEnabled(GL_BLEND));
        EXPECT_FALSE(fake::gl().isEnabled(GL_ALPHA_TEST));
        EXPECT_FALSE(fake::gl().isEnabled(GL_CULL_FACE));
        EXPECT_EQ(fake::gl().depthMask, GL_TRUE);
        EXPECT_EQ(fake::gl().color, (std::array<float, 4>{0.5f, 0.5f, 0.5f, 1.0f}));
    }
}

} // namespace
