// jsoncpp is built to read only (scripts/patches/jsoncpp-without-streams.patch): numbers that
// do not fit an integer are converted by the C library instead of a string stream, with the
// same verdicts.
#include <gtest/gtest.h>

#include <json/json.h>

#include <memory>
#include <string>

namespace {

bool Parse(const std::string& document, Json::Value& root)
{
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(document.data(), document.data() + document.size(), &root, &errors);
}

} // namespace

TEST(JsonNumber, ConvertsWhatAStreamConvertedAndRejectsTheRest)
{
    const struct {
        const char* document;
        bool parses;
        double value;
    } cases[] = {
        { "[2.5]", true, 2.5 },
        { "[-0.125e3]", true, -125.0 },
        { "[1E-2]", true, 0.01 },
        { "[18446744073709551616]", true, 18446744073709551616.0 }, // past 64 bits: a double
        { "[1.7976931348623157e308]", true, 1.7976931348623157e308 },
        { "[1e999]", false, 0 }, // out of range
        { "[-1e999]", false, 0 },
        { "[1e]", false, 0 }, // not all of the token converts
        { "[1.5e+]", false, 0 },
    };
    for (const auto& c : cases) {
        Json::Value root;
        EXPECT_EQ(Parse(c.document, root), c.parses) << c.document;
        if (c.parses) {
            EXPECT_DOUBLE_EQ(root[0].asDouble(), c.value) << c.document;
        }
    }
    Json::Value root;
    ASSERT_TRUE(Parse(R"({"id": 7, "name": "x"})", root));
    EXPECT_EQ(root["id"].asString(), "7") << "numbers still convert to text without the writers";
    EXPECT_THROW(root["name"].asInt(), Json::LogicError) << "a failed conversion still throws";
}
