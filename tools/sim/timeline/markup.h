// Writing HTML and SVG text: elements with attributes, every user text escaped so that it stays text.
#ifndef ZELM_SIM_MARKUP_H
#define ZELM_SIM_MARKUP_H

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zsim {

// A text for element content or an attribute value: printable (as Printable makes it) and with & < > " '
// written as references, so that no name in a scenario can open a tag or end an attribute.
std::string EscapeMarkup(std::string_view raw);
// A coordinate or length with at most one decimal ("12", "12.5"): short, and exact enough on a screen.
std::string Num(double v);

// SVG path data, command by command: PathData().M(x, y).H(x1).Str().
class PathData {
public:
    PathData &M(double x, double y) { return Point('M', x, y); }
    PathData &L(double x, double y) { return Point('L', x, y); }
    PathData &H(double x) { return One('H', x); }
    PathData &V(double y) { return One('V', y); }
    PathData &Z()
    {
        d_ += 'Z';
        return *this;
    }
    // A line through the points, closed into a shape on request.
    PathData &Poly(std::initializer_list<std::pair<double, double>> points, bool closed);
    const std::string &Str() const { return d_; }

private:
    PathData &Point(char command, double x, double y);
    PathData &One(char command, double v);
    std::string d_;
};

struct Attr {
    std::string_view name;
    std::string value;  // escaped when written
};

// Markup text built element by element. Tags and attribute names come from the program; attribute values
// and texts are escaped.
class Markup {
public:
    // <tag a="v">
    Markup &Open(std::string_view tag, std::initializer_list<Attr> attrs = {});
    // <tag a="v"/>
    Markup &Empty(std::string_view tag, std::initializer_list<Attr> attrs);
    // <tag a="v">text</tag>
    Markup &Element(std::string_view tag, std::initializer_list<Attr> attrs, std::string_view text);
    Markup &Close(std::string_view tag);
    Markup &Text(std::string_view text);
    // Texts one per line (a tooltip's lines).
    Markup &Lines(const std::vector<std::string> &lines);
    // Markup written by the program itself (a style sheet, another Markup's text).
    Markup &Raw(std::string_view markup);
    const std::string &Str() const { return out_; }
    std::string Take() { return std::move(out_); }

private:
    void Start(std::string_view tag, std::initializer_list<Attr> attrs);
    std::string out_;
};

}  // namespace zsim

#endif
