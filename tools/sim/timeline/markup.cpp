// Escaping and element writing for the HTML page and its SVG.
#include "timeline/markup.h"

#include <fmt/format.h>

#include <cmath>

#include "text/printable.h"

namespace zsim {

std::string EscapeMarkup(std::string_view raw)
{
    const std::string text = Printable(raw);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
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
        default:
            out += c;
        }
    }
    return out;
}

std::string Num(double v)
{
    const double rounded = std::round(v * 10) / 10;
    const std::string text =
        rounded == std::floor(rounded) ? fmt::format("{:.0f}", rounded) : fmt::format("{:.1f}", rounded);
    return text == "-0" ? "0" : text;
}

PathData &PathData::Point(char command, double x, double y)
{
    d_ += command;
    d_ += Num(x);
    d_ += ' ';
    d_ += Num(y);
    return *this;
}

PathData &PathData::One(char command, double v)
{
    d_ += command;
    d_ += Num(v);
    return *this;
}

PathData &PathData::Poly(std::initializer_list<std::pair<double, double>> points, bool closed)
{
    bool first = true;
    for (const auto &[x, y] : points) {
        Point(first ? 'M' : 'L', x, y);
        first = false;
    }
    return closed ? Z() : *this;
}

void Markup::Start(std::string_view tag, std::initializer_list<Attr> attrs)
{
    out_ += '<';
    out_ += tag;
    for (const Attr &a : attrs) {
        out_ += ' ';
        out_ += a.name;
        out_ += "=\"";
        out_ += EscapeMarkup(a.value);
        out_ += '"';
    }
}

Markup &Markup::Open(std::string_view tag, std::initializer_list<Attr> attrs)
{
    Start(tag, attrs);
    out_ += '>';
    return *this;
}

Markup &Markup::Empty(std::string_view tag, std::initializer_list<Attr> attrs)
{
    Start(tag, attrs);
    out_ += "/>";
    return *this;
}

Markup &Markup::Element(std::string_view tag, std::initializer_list<Attr> attrs, std::string_view text)
{
    return Open(tag, attrs).Text(text).Close(tag);
}

Markup &Markup::Close(std::string_view tag)
{
    out_ += "</";
    out_ += tag;
    out_ += '>';
    return *this;
}

Markup &Markup::Text(std::string_view text)
{
    out_ += EscapeMarkup(text);
    return *this;
}

Markup &Markup::Lines(const std::vector<std::string> &lines)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        Raw(i == 0 ? "" : "\n").Text(lines[i]);
    }
    return *this;
}

Markup &Markup::Raw(std::string_view markup)
{
    out_ += markup;
    return *this;
}

}  // namespace zsim
