#include "mime/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace cw {
namespace {

struct HtmlCase {
    const char* html;
    std::string visible;
};

template <size_t N>
void expectVisible(const HtmlCase (&cases)[N]) {
    for (const HtmlCase& c : cases) {
        EXPECT_EQ(c.visible, htmlVisibleText(c.html)) << c.html;
    }
}

TEST(HtmlText, TagsAreRemovedAndInlineOnesJoinTheirNeighbours) {
    const HtmlCase cases[] = {
        {"click <a href=\"http://x.example/\">here</a>", "click here"},
        {"V<b></b>ia<FONT color=red>gra</FONT>", "Viagra"},
        {"<span\nclass=x>split</span\n>tag", "splittag"},
        {"a<img src=x.gif>b", "ab"},
        {"<P>one</P><p>two", "one\ntwo"},
        {"line<br>break<BR/>again<br />end", "line\nbreak\nagain\nend"},
        {"<table><tr><td>Buy</td><td>now</td></tr><tr><th>a</th></tr></table>", "Buy now\na"},
        {"<div>x</div><h2>y</h2><li>z", "x\ny\nz"},
        {"<!DOCTYPE html><html><head><title>T</title></head><body>B</body></html>", "T\nB"},
        {"<?xml version=\"1.0\"?>x", "x"},
        {"<o:p>office</o:p>", "office"},
    };
    expectVisible(cases);
}

TEST(HtmlText, CommentsScriptsAndStylesAreDropped) {
    const HtmlCase cases[] = {
        {"Vi<!-- hidden -->agra", "Viagra"},
        {"a<!-- <b>not a tag</b> -->b", "ab"},
        {"a<!---->b", "ab"},
        {"before<!-- never closed", "before"},
        {"a<script type=\"text/javascript\">document.write('<b>x</b>');</script>b", "ab"},
        {"a<STYLE>p { color: red }</Style >b", "ab"},
        {"a<script>never closed", "a"},
        {"a</script>b", "ab"},  // a closing tag alone hides nothing
    };
    expectVisible(cases);
}

TEST(HtmlText, AngleBracketThatBeginsNoTagIsText) {
    const HtmlCase cases[] = {
        {"1 < 2 and 3 <4", "1 < 2 and 3 <4"},
        {"a <= b", "a <= b"},
        {"</ a", "</ a"},
        {"x <b never closed", "x <b never closed"},
        {"<b>bold</b> then <i", "bold then <i"},
        {"<", "<"},
    };
    expectVisible(cases);
}

TEST(HtmlText, CommonReferencesAreDecoded) {
    const HtmlCase cases[] = {
        {"a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos;", "a & b <c> \"d\" 'e'"},
        {"&AMP; &Lt;", "& <"},
        {"&lt;b&gt;stays text&lt;/b&gt;", "<b>stays text</b>"},
        {"&#86;&#105;agra", "Viagra"},
        {"&#x56;&#X69;&#x61;gra", "Viagra"},
        {"&#86&#105agra", "Viagra"},  // the ';' of a numeric reference may be missing
        {"caf&#233;", "caf\xE9"},
        {"click&nbsp;here", "click here"},
        {"click&nbsp;&nbsp;&#160; here", "click here"},
        {"a&#10;b", "a b"},
        {"&copy; &nbsp &#0; &#256; &#x; &#12345678; &",
         "&copy; &nbsp &#0; &#256; &#x; &#12345678; &"},
        {"AT&T", "AT&T"},
    };
    expectVisible(cases);
}

TEST(HtmlText, WhiteSpaceCollapsesAsABrowserShowsIt) {
    const HtmlCase cases[] = {
        {"  click\r\n\t here  ", "click here"},
        {"one <br> \r\n two", "one\ntwo"},
        {"<p>\r\n<p>\r\n<br>x", "x"},
        {"a <b> </b> b", "a b"},
        {"", ""},
        {" <p> </p> ", ""},
    };
    expectVisible(cases);
}

}  // namespace
}  // namespace cw
