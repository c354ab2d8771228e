#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>

#include "util/XMLAttr.h"
#include "util/XMLNode.h"
#include "util/XMLParser.h"

namespace {

std::string str(const i4_string& s) {
    return s.c_str() ? s.c_str() : "(null)";
}

std::string attr(XMLNode* n, const char* name) {
    i4_string out("unset");
    if (!xmlGetAttr(n, name, out)) return "(none)";
    return str(out);
}

// Parses from a buffer of exactly the text's size, with no terminator after
// it, so that a scan past the end is caught by the sanitizers.
XMLNode* parseExact(XMLParser& p, const std::string& text, std::unique_ptr<char[]>& keep) {
    keep.reset(new char[text.size() + 1]);
    memcpy(keep.get(), text.data(), text.size());
    return p.parse(keep.get(), text.size());
}

std::string readData(const char* name) {
    std::ifstream f(std::string(TORNAVEL_TEST_DATA) + "/xml/" + name, std::ios::binary);
    EXPECT_TRUE(f.good()) << name;
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(XMLParser, ElementsAttributesAndText) {
    XMLParser p;
    XMLNode* a = p.parse("<a><b x=\"1\">hi</b></a>");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(str(a->name()), "a");
    EXPECT_EQ(str(a->value()), "");
    EXPECT_EQ(a->parent(), nullptr);
    ASSERT_EQ(a->children().count(), 1);
    XMLNode* b = a->childAt(0);
    EXPECT_EQ(str(b->name()), "b");
    EXPECT_EQ(str(b->value()), "hi");
    EXPECT_EQ(attr(b, "x"), "1");
    EXPECT_EQ(b->parent(), a);
    EXPECT_EQ(b->depth(), 1);
    EXPECT_EQ(b->attrAt(0)->owner(), b);
}

TEST(XMLParser, StructureTable) {
    const struct {
        const char* text;
        const char* root;  // null: no result
        int children;
        const char* rootValue;
    } cases[] = {
        {"<a/>", "a", 0, ""},
        {"<a/><b/>", "a", 0, ""},  // b is top-level, not a's child
        {"<!-- c --><a/>", "a", 0, ""},
        {"<!-- a -- b --><a/>", "a", 0, ""},
        {"<!DOCTYPE x><a/>", nullptr, 0, ""},
        {"<![CDATA[x]]><a/>", nullptr, 0, ""},
        {"<a><b></c>x</a>", "a", 1, "x"},  // end tags are not matched
        {"<a>first<b/>last</a>", "a", 1, "last"},
        {"<a>  lead and trail  </a>", "a", 0, "lead and trail  "},
        {"<a>&amp;</a>", "a", 0, "&amp;"},  // text content is not decoded
        {"text before <a>in</a>", "a", 0, "in"},
        {"<a>\r\n\t<b/>\n</a>", "a", 1, ""},
        {"<a><b/><c/><d/></a>", "a", 3, ""},
        {"", nullptr, 0, ""},
        {"   \n", nullptr, 0, ""},
        {"no markup at all", nullptr, 0, ""},
    };
    for (const auto& c : cases) {
        XMLParser p;
        std::unique_ptr<char[]> keep;
        XMLNode* root = parseExact(p, c.text, keep);
        if (!c.root) {
            EXPECT_EQ(root, nullptr) << c.text;
            continue;
        }
        ASSERT_NE(root, nullptr) << c.text;
        EXPECT_EQ(str(root->name()), c.root) << c.text;
        EXPECT_EQ(root->children().count(), c.children) << c.text;
        EXPECT_EQ(str(root->value()), c.rootValue) << c.text;
    }
}

TEST(XMLParser, EndTagWithAnotherNameClosesTheCurrentElement) {
    XMLParser p;
    XMLNode* a = p.parse("<a><b></c>x</a>");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(str(a->value()), "x");
    EXPECT_EQ(str(a->childAt(0)->value()), "");
}

TEST(XMLParser, AttributeDecodingTable) {
    const struct {
        const char* raw;
        const char* decoded;
    } cases[] = {
        {"plain", "plain"},
        {"x &amp;lt; y", "x < y"},  // the named replacements run one after another
        {"&lt;&gt;&apos;&quot;&amp;", "<>'\"&"},
        {"&#65;&#66;", "AB"},
        {"&#321;", "A"},                     // low 8 bits of 321
        {"&#;&#x41;&#65", "&#;&#x41;&#65"},  // not decimal references
        {"&#0;", "&#0;"},                    // a 0 byte would cut the text
        {"&amp;#65;", "A"},                  // decoded names come before numbers
        {"&unknown;", "&unknown;"},
        {"", ""},
    };
    for (const auto& c : cases) {
        XMLParser p;
        std::string text = std::string("<e v=\"") + c.raw + "\"/>";
        XMLNode* e = p.parse(text.c_str());
        ASSERT_NE(e, nullptr) << c.raw;
        EXPECT_EQ(attr(e, "v"), c.decoded) << c.raw;
    }
}

TEST(XMLParser, AttributeListForms) {
    const struct {
        const char* text;
        const char* name;
        const char* value;  // "(none)" when absent
        int count;
    } cases[] = {
        {"<e a=\"1\" b=\"2\"/>", "b", "2", 2},
        {"<e a = \"1\"/>", "a", "1", 1},
        {"<e a  \"1\"/>", "a", "1", 1},        // blank and no '=' still takes the value
        {"<e a=junk\"1\"/>", "a", "1", 1},     // skips to the quote
        {"<e a=\"x>y\"/>", "a", "(none)", 0},  // the tag ends at the first '>'
        {"<e a=\"1\" flag/>", "a", "1", 1},
        {"<e a=\"1\" b=\"2/>", "b", "(none)", 1},
        {"<e A=\"1\"/>", "a", "1", 1},  // names ignore case
        // Names end at any blank, not only a space.
        {"<e\n a=\"1\"/>", "a", "1", 1},
        {"<e\ta=\"1\"\tb=\"2\"/>", "b", "2", 2},
        {"<e\r\n\ta=\"1\"\r\n/>", "a", "1", 1},
        {"<e a\t=\t\"1\"/>", "a", "1", 1},
    };
    for (const auto& c : cases) {
        XMLParser p;
        std::unique_ptr<char[]> keep;
        XMLNode* e = parseExact(p, c.text, keep);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(str(e->name()), "e") << c.text;
        EXPECT_EQ(attr(e, c.name), c.value) << c.text;
        EXPECT_EQ(e->attributes().count(), c.count) << c.text;
    }
}

// A table written with each element over several lines is found by name.
TEST(XMLParser, ElementNamesEndAtAnyBlank) {
    XMLParser p;
    XMLNode* root = p.parse(
        "<STRINGS>\n<STRING\n id=\"1\">one</STRING>\n"
        "<STRING\tid=\"2\">two</STRING></STRINGS>");
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(2, root->children().count());
    for (int i = 0; i < 2; i++) {
        XMLNode* e = static_cast<XMLNode*>(root->children().get(i));
        EXPECT_EQ("STRING", str(e->name())) << i;
        EXPECT_EQ(i == 0 ? "1" : "2", attr(e, "id")) << i;
        EXPECT_EQ(i == 0 ? "one" : "two", str(e->value())) << i;
    }
    EXPECT_NE(nullptr, root->findChild("string"));
}

TEST(XMLParser, PathLookupsIgnoreCase) {
    XMLParser p;
    XMLNode* root = p.parse(
        "<ui><Strings lang=\"en\"><string id=\"1\"/><STRING id=\"2\"/></Strings>"
        "<skins><skin name=\"default\"/></skins></ui>");
    ASSERT_NE(root, nullptr);
    const struct {
        const char* a;
        const char* b;
        const char* found;  // null: not found
        const char* id;
    } cases[] = {
        {"STRINGS", "string", "string", "1"},  // first match wins
        {"strings", "STRING", "string", "1"},
        {nullptr, "skins", "skins", "(none)"},  // a null name is skipped
        {"skins", "SKIN", "skin", "(none)"},
        {"missing", "string", nullptr, nullptr},
        {"strings", "missing", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        XMLNode* n = xmlFindPath(root, 2, c.a, c.b);
        SCOPED_TRACE(std::string(c.a ? c.a : "(null)") + "/" + c.b);
        if (!c.found) {
            EXPECT_EQ(n, nullptr);
            continue;
        }
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(str(n->name()), c.found);
        EXPECT_EQ(attr(n, "id"), c.id);
    }
    EXPECT_EQ(xmlFindPath(nullptr, 1, "ui"), nullptr);
    EXPECT_EQ(xmlFindPath(root, 0), root);
    EXPECT_EQ(attr(root->findChild("strings"), "LANG"), "en");

    i4_string out("stale");
    EXPECT_EQ(xmlGetAttr(nullptr, "x", out), 0);
    EXPECT_EQ(str(out), "");
    out.assign("stale");
    EXPECT_EQ(xmlGetAttr(root, "nothing", out), 0);
    EXPECT_EQ(str(out), "");
}

TEST(XMLParser, MalformedFiles) {
    const struct {
        const char* file;
        const char* root;
        const char* check;  // what the partial tree holds
    } cases[] = {
        {"unclosed-quote.xml", "a", "x=1 value=text"},
        {"truncated-in-tag.xml", "root", "item name=a"},
        {"unterminated-comment.xml", "root", "no children"},
        {"attribute-without-value.xml", "a", "b and c without attributes"},
        {"with-declaration.xml", "?xml", "declaration holds the document"},
        {"end-tags-first.xml", "d", "-"},
        {"bad-char-references.xml", "a", "references"},
        {"only-markup.xml", "<<<", "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        XMLParser p;
        std::unique_ptr<char[]> keep;
        XMLNode* root = parseExact(p, readData(c.file), keep);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(str(root->name()), c.root);
        std::string check = c.check;
        if (check == "x=1 value=text") {
            EXPECT_EQ(attr(root, "x"), "1");
            EXPECT_EQ(attr(root, "y"), "(none)");
            EXPECT_EQ(str(root->value()), "text");
        } else if (check == "item name=a") {
            ASSERT_EQ(root->children().count(), 1);
            EXPECT_EQ(attr(root->childAt(0), "name"), "a");
        } else if (check == "no children") {
            EXPECT_EQ(root->children().count(), 0);
        } else if (check == "b and c without attributes") {
            ASSERT_EQ(root->children().count(), 2);
            EXPECT_EQ(root->childAt(0)->attributes().count(), 0);
            EXPECT_EQ(str(root->childAt(1)->name()), "c");
            EXPECT_EQ(root->childAt(1)->attributes().count(), 0);
        } else if (check == "declaration holds the document") {
            EXPECT_EQ(attr(root, "version"), "1.0");
            EXPECT_EQ(attr(root, "encoding"), "utf-8");
            XMLNode* s = xmlFindPath(root, 2, "strings", "string");
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(attr(s, "text"), "Hello & welcome");
        } else if (check == "references") {
            EXPECT_EQ(attr(root, "v"), "&#;\xFF&#x41;&#65");
        }
    }
}

TEST(XMLParser, ParseAgainReplacesTheTree) {
    XMLParser p;
    EXPECT_NE(p.parse("<a><b/></a><c><d/></c>"), nullptr);
    XMLNode* x = p.parse("<x/>");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(str(x->name()), "x");
    EXPECT_EQ(p.parse(nullptr), nullptr);
    p.clear();
}

TEST(XMLParser, TextStopsAtTheGivenLengthAndAtATerminator) {
    XMLParser p;
    const char text[] = "<a>visible</a><b/>";
    XMLNode* a = p.parse(text, 10);  // "<a>visible" only
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(str(a->value()), "visible");

    const char withNul[] = "<a x=\"1\0\"/>";
    a = p.parse(withNul, sizeof withNul - 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->attributes().count(), 0);
}

TEST(XMLParser, DeepNestingNeitherRecursesNorLeaks) {
    std::string text;
    for (int i = 0; i < 200000; i++) text += "<a>";
    XMLParser p;
    XMLNode* root = p.parse(text.c_str());
    ASSERT_NE(root, nullptr);
    XMLNode* copy = root->copy();
    int depth = 0;
    for (XMLNode* n = copy; n->children().count(); n = n->childAt(0)) depth++;
    EXPECT_EQ(depth, 199999);
    delete copy;
    p.clear();
}

TEST(XMLNode, CopyRemoveAndIndexes) {
    XMLParser p;
    XMLNode* root = p.parse("<r><a k=\"v\"><b>t</b></a><c/></r>");
    ASSERT_NE(root, nullptr);
    XMLNode* a = root->findChild("a");
    XMLNode* copy = a->copy();
    EXPECT_EQ(copy->parent(), root);
    EXPECT_EQ(root->children().count(), 2) << "the copy is not added to the parent";
    EXPECT_EQ(attr(copy, "k"), "v");
    ASSERT_NE(copy->findChild("b"), nullptr);
    EXPECT_EQ(str(copy->findChild("b")->value()), "t");
    EXPECT_EQ(copy->findChild("b")->parent(), copy);
    EXPECT_NE(copy->findChild("b"), a->findChild("b"));
    delete copy;

    EXPECT_EQ(root->childAt(1), root->findChild("c"));
    EXPECT_EQ(root->childAt(2), nullptr);
    EXPECT_EQ(root->attrAt(0), nullptr);
    EXPECT_TRUE(root->removeChild(a));
    EXPECT_FALSE(root->removeChild(root));
    EXPECT_EQ(root->children().count(), 1);
    EXPECT_EQ(root->findChild("a"), nullptr);
}

}  // namespace
