// The visible text of HTML, for rules that look for what a reader sees: a
// phrase that a message splits with tags ("click <a href=...>here</a>",
// "V<b></b>iagra") or writes as character references ("&#86;iagra") reads
// whole there.
#pragma once

#include <string>
#include <string_view>

namespace cw {

// The text of `html` as a browser shows it, as bytes (no character set is
// converted):
// - a tag (from '<' followed by a letter, '/', '!' or '?' up to the next '>')
//   is removed; the tags that break a line (<br>, <p>, <div>, <tr>, <li>,
//   <table>, headings, ...) leave a line break, table cells (<td>, <th>) a
//   space, and every other tag (<a>, <b>, <font>, <span>, <img>, ...) nothing;
// - a comment (from "<!--" to "-->") is removed, and so is the content of
//   <script> and <style> up to their closing tags; one left open runs to the
//   end of the text, as in a browser;
// - a '<' that begins no tag, or whose tag is never closed by a '>', is text;
// - the references &amp; &lt; &gt; &quot; &apos; &nbsp; (any case) and &#NN;
//   &#xHH; of the values 1 to 255 give their byte (the ';' of a numeric one
//   may be missing); &nbsp; and &#160; give a space. Others stay as written;
// - runs of white space become one space, a line break swallows the spaces
//   around it, and the text begins and ends with neither.
// The result is never longer than `html`.
std::string htmlVisibleText(std::string_view html);

}  // namespace cw
