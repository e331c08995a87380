// Every cause has a text of its own, and any other value a text too.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "shape.h"

namespace {

struct NamedCause {
    const char *name;
    Bsv2Cause cause;
};

const NamedCause kCauses[] = {
    {"NONE", BSV2_CAUSE_NONE},
    {"CANNOT_OPEN", BSV2_CAUSE_CANNOT_OPEN},
    {"CANNOT_READ", BSV2_CAUSE_CANNOT_READ},
    {"ENDS_EARLY", BSV2_CAUSE_ENDS_EARLY},
    {"NOT_BSV2", BSV2_CAUSE_NOT_BSV2},
    {"BAD_VERTEX_COUNT", BSV2_CAUSE_BAD_VERTEX_COUNT},
    {"BAD_TRIANGLE_COUNT", BSV2_CAUSE_BAD_TRIANGLE_COUNT},
    {"BAD_VERTEX", BSV2_CAUSE_BAD_VERTEX},
    {"BAD_TRIANGLE", BSV2_CAUSE_BAD_TRIANGLE},
    {"VERTEX_OUT_OF_RANGE", BSV2_CAUSE_VERTEX_OUT_OF_RANGE},
    {"NO_MEMORY", BSV2_CAUSE_NO_MEMORY},
    {"BAD_ARGUMENT", BSV2_CAUSE_BAD_ARGUMENT},
    {"CANNOT_WRITE", BSV2_CAUSE_CANNOT_WRITE},
    // One past the last cause: what an older program may be handed by a
    // newer library.
    {"UNKNOWN", static_cast<Bsv2Cause>(BSV2_CAUSE_CANNOT_WRITE + 1)},
};

TEST(CauseText, EachCauseHasADistinctOneLineText) {
    std::map<std::string, const char *> holder;
    for (const NamedCause &row : kCauses) {
        const char *text = bsv2CauseText(row.cause);
        ASSERT_NE(text, nullptr) << row.name;
        EXPECT_GT(std::strlen(text), 0u) << row.name;
        EXPECT_EQ(std::strpbrk(text, "\r\n"), nullptr) << row.name << ": " << text;
        auto added = holder.emplace(text, row.name);
        EXPECT_TRUE(added.second) << row.name << " and " << added.first->second << " share \"" << text << "\"";
    }
}

}  // namespace
