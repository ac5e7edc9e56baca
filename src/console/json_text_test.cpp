#include "console/json_text.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonTextTest, EscapesWhatAJsonStringCannotHoldAsItIs) {
  EXPECT_EQ(jsonString("plain text 1.0"), "\"plain text 1.0\"");
  EXPECT_EQ(jsonString("say \"hi\" C:\\kit"), "\"say \\\"hi\\\" C:\\\\kit\"");
  EXPECT_EQ(jsonString("a\nb\rc\td"), "\"a\\nb\\rc\\td\"");
  EXPECT_EQ(jsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\x7f\"");
  EXPECT_EQ(jsonString(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(JsonTextTest, KeepsUtf8AndWritesOtherHighBytesAsTheirOwnCodePoints) {
  // e-acute, euro sign and an emoji in UTF-8 pass unchanged.
  EXPECT_EQ(jsonString("\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
            "\"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"");
  // A Windows-1252 e-acute alone, a cut sequence, an overlong form, a surrogate and a code
  // point beyond U+10FFFF are bytes, not UTF-8.
  EXPECT_EQ(jsonString("\xe9"), "\"\\u00e9\"");
  EXPECT_EQ(jsonString("\xe2\x82"), "\"\\u00e2\\u0082\"");
  EXPECT_EQ(jsonString("\xc0\xaf"), "\"\\u00c0\\u00af\"");
  EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\u00ed\\u00a0\\u0080\"");
  EXPECT_EQ(jsonString("\xf4\x90\x80\x80"), "\"\\u00f4\\u0090\\u0080\\u0080\"");
  EXPECT_EQ(jsonString("\xc3\xa9\xff"), "\"\xc3\xa9\\u00ff\"");
}

TEST(JsonTextTest, BuildsObjectsArraysAndNulls) {
  EXPECT_EQ(jsonObject({{"a", "1"}, {"b\"", jsonArray({"true", "null"})}}),
            "{\"a\": 1, \"b\\\"\": [true, null]}");
  EXPECT_EQ(jsonArray({}), "[]");
  EXPECT_EQ(jsonStringOrNull(""), "null");
  EXPECT_EQ(jsonStringOrNull("x"), "\"x\"");
  EXPECT_EQ(jsonLineOrNull(0), "null");
  EXPECT_EQ(jsonLineOrNull(12), "12");
}

}  // namespace
