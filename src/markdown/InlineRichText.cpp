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
            html += "<code>";
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
