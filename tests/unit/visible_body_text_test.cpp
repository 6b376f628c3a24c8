#include "mime/visible_body_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cw {
namespace {

using Headers = std::vector<const char*>;

struct BodyCase {
    Headers headers;
    const char* body;
    std::string visible;
};

template <size_t N>
void expectVisible(const BodyCase (&cases)[N]) {
    for (const BodyCase& c : cases) {
        EXPECT_EQ(c.visible,
                  visibleBodyText(c.body, c.headers.data(), static_cast<int32_t>(c.headers.size())))
            << c.body;
    }
}

TEST(VisibleBodyText, TheMessagesContentTypeSaysWhetherTheBodyIsHtml) {
    const BodyCase cases[] = {
        {{"Content-Type: text/html; charset=us-ascii\r\n"},
         "<p>click <b>here</b>\r\n",
         "click here"},
        {{"content-type:TEXT/HTML\r\n"}, "a&amp;b <i>c</i>", "a&b c"},
        {{"Subject: x\r\n", nullptr, "Content-Type:\ttext/html\r\n"}, "<b>x</b>", "x"},
        // Plain text stays as it stands, angle brackets and references too.
        {{"Content-Type: text/plain\r\n"},
         "Bob <bob@x.example> &amp;\r\n",
         "Bob <bob@x.example> &amp;\r\n"},
        {{}, "a <b>c</b>\r\n", "a <b>c</b>\r\n"},
        // The first Content-Type header decides.
        {{"Content-Type: text/plain\r\n", "Content-Type: text/html\r\n"}, "<b>x</b>", "<b>x</b>"},
    };
    expectVisible(cases);
}

TEST(VisibleBodyText, BodyThatBeginsAsAnHtmlDocumentIsHtmlWithoutAType) {
    const BodyCase cases[] = {
        {{}, "\r\n  <HTML><body>Free <b>offer</b></body></html>", "Free offer"},
        {{"Content-Type: text/plain\r\n"}, "<!DOCTYPE HTML PUBLIC \"x\"><p>a", "a"},
        {{}, "<head><title>T</title></head>x", "T\nx"},
        {{}, "<body>x", "x"},
        {{}, "<p>not a document</p>", "<p>not a document</p>"},
        {{"Content-Type: multipart/mixed; boundary=b1\r\n"},
         "<html>preamble</html>\r\n",
         "<html>preamble</html>\r\n"},
    };
    expectVisible(cases);
}

const Headers MULTIPART = {"Content-Type: multipart/alternative; boundary=\"b1\"\r\n"};

TEST(VisibleBodyText, OnlyTheContentOfHtmlPartsIsConverted) {
    const BodyCase cases[] = {
        {MULTIPART,
         "Preamble <x>\r\n"
         "--b1\r\n"
         "Content-Type: text/plain\r\n"
         "\r\n"
         "plain <b>as is</b>\r\n"
         "--b1\r\n"
         "Content-Type: text/html; charset=us-ascii\r\n"
         "Content-Transfer-Encoding: 7bit\r\n"
         "\r\n"
         "<p>click <a href=\"x\">here</a></p>\r\n"
         "<p>now</p>\r\n"
         "--b1--\r\n"
         "epilogue <b>\r\n",
         "Preamble <x>\r\n"
         "--b1\r\n"
         "Content-Type: text/plain\r\n"
         "\r\n"
         "plain <b>as is</b>\r\n"
         "--b1\r\n"
         "Content-Type: text/html; charset=us-ascii\r\n"
         "Content-Transfer-Encoding: 7bit\r\n"
         "\r\n"
         "click here\nnow\n"
         "--b1--\r\n"
         "epilogue <b>\r\n"},
        // A nested multipart: the inner boundary ends the HTML part; "-->" and
        // "-- " lines inside it are content.
        {{"Content-Type: multipart/mixed; boundary=outer\r\n"},
         "--outer\r\n"
         "Content-Type: multipart/alternative; boundary=inner\r\n"
         "\r\n"
         "--inner\r\n"
         "content-type:text/html\r\n"
         "\r\n"
         "<!--\r\n"
         "-->\r\n"
         "-- <b>x</b>\r\n"
         "--inner--\r\n"
         "--outer--\r\n",
         "--outer\r\n"
         "Content-Type: multipart/alternative; boundary=inner\r\n"
         "\r\n"
         "--inner\r\n"
         "content-type:text/html\r\n"
         "\r\n"
         "-- x\n"
         "--inner--\r\n"
         "--outer--\r\n"},
        // Behind decoded base64 content the boundary line shows one '-' short.
        {MULTIPART,
         "--b1\r\n"
         "Content-Type: text/html\r\n"
         "Content-Transfer-Encoding: base64\r\n"
         "\r\n"
         "<b>bold</b>-b1--\r\n",
         "--b1\r\n"
         "Content-Type: text/html\r\n"
         "Content-Transfer-Encoding: base64\r\n"
         "\r\n"
         "bold\n"
         "-b1--\r\n"},
        // An HTML part that is never closed runs to the end; an empty one adds nothing.
        {MULTIPART, "--b1\nContent-Type: text/html\n\n<p>a\n<p>b",
         "--b1\nContent-Type: text/html\n\na\nb\n"},
        {MULTIPART, "--b1\nContent-Type: text/html\n\n<br>\n--b1--\n",
         "--b1\nContent-Type: text/html\n\n--b1--\n"},
        // A part header that is no boundary's does not count.
        {{}, "Content-Type: text/html\n\n<b>x</b>\n", "Content-Type: text/html\n\n<b>x</b>\n"},
    };
    expectVisible(cases);
}

}  // namespace
}  // namespace cw
