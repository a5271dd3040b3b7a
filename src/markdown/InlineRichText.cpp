#include "markdown/InlineRichText.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace {

void appendEscaped(std::string &out, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "<br/>";
            break;
        case '\n':
            out += "<br/>";
            break;
        default:
            out += c;
            break;
        }
    }
}

// Qt draws <code> in the desktop's fixed-pitch font. The tint sets code apart as the code
// blocks' panel does: white on the accent bubble, a grey that darkens a light bubble and lightens
// a dark one.
constexpr std::string_view userCode = "<code style=\"background-color:rgba(255,255,255,0.2)\">";
constexpr std::string_view assistantCode =
    "<code style=\"background-color:rgba(128,128,128,0.2)\">";

} // namespace

QString InlineRichText::of(const std::vector<InlineRun> &runs, bool isUser)
{
    std::string html = "<span style=\"white-space:pre-wrap\">";
    for (const InlineRun &run : runs) {
        if (run.link) {
            html += "<a href=\"";
            appendEscaped(html, *run.link);
            html += "\">";
            if (isUser)
                html += "<span style=\"color:#ffffff;text-decoration:underline\">";
        }
        if (run.strong)
            html += "<b>";
        if (run.emphasis)
            html += "<i>";
        if (run.code)
            html += isUser ? userCode : assistantCode;
        appendEscaped(html, run.text);
        if (run.code)
            html += "</code>";
        if (run.emphasis)
            html += "</i>";
        if (run.strong)
            html += "</b>";
        if (run.link) {
            if (isUser)
                html += "</span>";
            html += "</a>";
        }
    }
    html += "</span>";
    return QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size()));
}
