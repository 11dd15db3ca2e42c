#include "app/xmlParse.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

// What follows a 0 byte stands for the memory after the caller's text.
TEST(XmlParse, ACharacterCutOffAtTheEndIsAnErrorAndNothingPastTheEndIsRead) {
    for (const char* lead : {"\xc3", "\xe6\x97", "\xf0\x9f\x8e"}) {
        SCOPED_TRACE(static_cast<unsigned char>(lead[0]));
        TiXmlDocument document;
        parseXmlText(document,
                     std::string("<?xml version=\"1.0\"?><a>x") + lead + '\0' + "leak</a><b/>");
        EXPECT_TRUE(document.Error());
        EXPECT_EQ(document.FirstChildElement("b"), nullptr);
    }
}

TEST(XmlParse, WholeCharactersAtTheEndOfTextAreKept) {
    TiXmlDocument document;
    parseXmlText(document,
                 "<?xml version=\"1.0\"?><list><a>x\xc3\xa9</a><b>\xe6\x97\xa5y</b></list>");
    ASSERT_FALSE(document.Error()) << document.ErrorDesc();
    const TiXmlElement* list = document.FirstChildElement("list");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->FirstChildElement("a")->GetText(), "x\xc3\xa9");
    EXPECT_STREQ(list->FirstChildElement("b")->GetText(), "\xe6\x97\xa5y");
}
