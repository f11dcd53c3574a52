#include "unit/dialog_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace kelvara::test {
namespace {

std::vector<std::string> fileLines(const std::string& relative) {
    std::ifstream in(std::string(KELVARA_SOURCE_DIR) + "/" + relative);
    EXPECT_TRUE(in) << "cannot read " << relative;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.find_last_not_of(" \t\r") + 1));
    return lines;
}

// The #defines of a header: numbers and strings, a string kept in its quotes.
void readDefines(const std::string& relative, std::map<std::string, std::string>& into) {
    for (const std::string& line : fileLines(relative)) {
        std::istringstream words(line);
        std::string hash, name, value;
        if (words >> hash >> name && hash == "#define" && std::getline(words >> std::ws, value))
            into.emplace(name, value);
    }
}

// A statement's arguments split at the commas outside quotes, each a list of
// words: quoted strings keep their quotes, `|` stands alone.
std::vector<std::vector<std::string>> arguments(const std::string& text) {
    std::vector<std::vector<std::string>> args(1);
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == ',') {
            args.emplace_back();
            ++i;
        } else if (c == '"') {
            const std::size_t end = text.find('"', i + 1);
            args.back().push_back(text.substr(i, end + 1 - i));
            i = end + 1;
        } else if (c == '|') {
            args.back().emplace_back("|");
            ++i;
        } else {
            std::size_t end = i;
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
                   text[end] != ',' && text[end] != '|')
                ++end;
            args.back().push_back(text.substr(i, end - i));
            i = end;
        }
    }
    return args;
}

struct Reader {
    std::map<std::string, std::string> defines;

    std::string expand(const std::string& word) const {
        const auto it = defines.find(word);
        return it == defines.end() ? word : it->second;
    }
    // Adjacent strings and string macros joined; empty when a word is no string.
    bool text(const std::vector<std::string>& words, std::string& out) const {
        out.clear();
        for (const std::string& word : words) {
            const std::string value = expand(word);
            if (value.size() < 2 || value.front() != '"')
                return false;
            out += value.substr(1, value.size() - 2);
        }
        return true;
    }
    int number(const std::vector<std::string>& words) const {
        EXPECT_EQ(words.size(), 1u);
        return words.empty() ? 0 : std::stoi(expand(words[0]));
    }
    static std::vector<std::string> styles(const std::vector<std::string>& words) {
        std::vector<std::string> out;
        std::copy_if(words.begin(), words.end(), std::back_inserter(out),
                     [](const std::string& w) { return w != "|"; });
        return out;
    }
    TemplateControl control(const std::string& statement, const std::vector<std::vector<std::string>>& args) const;
};

TemplateControl Reader::control(const std::string& statement,
                                const std::vector<std::vector<std::string>>& args) const {
    TemplateControl c;
    c.statement = statement;
    std::size_t at = 0;
    const bool captioned = statement != "EDITTEXT" && statement != "COMBOBOX";
    std::string text;
    const bool textual = captioned && this->text(args[at], text);
    if (captioned)
        ++at;
    c.id = number(args[at++]);
    if (statement == "CONTROL") {
        std::string cls;
        c.cls = this->text(args[at], cls) ? cls : args[at][0] == "TRACKBAR_CLASSA" ? "msctls_trackbar32" : "";
        ++at;
        c.styles = styles(args[at++]);
    } else {
        // Each statement's window class and the type of control it makes.
        static const std::map<std::string, std::pair<std::string, std::string>> kStatements = {
            {"LTEXT", {"Static", "SS_LEFT"}},        {"RTEXT", {"Static", "SS_RIGHT"}},
            {"EDITTEXT", {"Edit", ""}},              {"COMBOBOX", {"ComboBox", ""}},
            {"GROUPBOX", {"Button", "BS_GROUPBOX"}}, {"PUSHBUTTON", {"Button", "BS_PUSHBUTTON"}},
            {"DEFPUSHBUTTON", {"Button", "BS_DEFPUSHBUTTON"}},
        };
        const auto it = kStatements.find(statement);
        EXPECT_NE(it, kStatements.end()) << statement;
        if (it != kStatements.end()) {
            c.cls = it->second.first;
            if (!it->second.second.empty())
                c.styles.push_back(it->second.second);
        }
    }
    // A picture's "text" names a bitmap and a trackbar's is not shown.
    c.showsText = textual && (c.cls == "Static" || c.cls == "Button");
    if (c.showsText)
        c.text = text;
    c.x = number(args[at++]);
    c.y = number(args[at++]);
    c.w = number(args[at++]);
    c.h = number(args[at++]);
    if (at < args.size())
        for (const std::string& style : styles(args[at]))
            c.styles.push_back(style);
    return c;
}

} // namespace

bool TemplateControl::styled(const std::string& name) const {
    return std::find(styles.begin(), styles.end(), name) != styles.end();
}

const TemplateControl* DialogTemplate::withText(const std::string& text) const {
    const auto n = std::count_if(controls.begin(), controls.end(),
                                 [&](const TemplateControl& c) { return c.text == text; });
    EXPECT_EQ(n, 1) << "controls saying \"" << text << "\"";
    for (const TemplateControl& c : controls)
        if (n == 1 && c.text == text)
            return &c;
    return nullptr;
}

const TemplateControl* DialogTemplate::withId(int id) const {
    for (const TemplateControl& c : controls)
        if (c.id == id)
            return &c;
    ADD_FAILURE() << "no control " << id;
    return nullptr;
}

std::vector<const TemplateControl*> DialogTemplate::inside(const TemplateControl& frame) const {
    std::vector<const TemplateControl*> out;
    for (const TemplateControl& c : controls)
        if (&c != &frame && c.x >= frame.x && c.y >= frame.y &&
            c.x + c.w <= frame.x + frame.w && c.y + c.h <= frame.y + frame.h)
            out.push_back(&c);
    return out;
}

DialogTemplate readDialogTemplate(const std::string& name, const std::map<std::string, std::string>& macros) {
    Reader reader;
    reader.defines = {{"IDC_STATIC", "-1"}, {"IDOK", "1"}, {"IDCANCEL", "2"}};
    for (const auto& [macro, value] : macros)
        reader.defines[macro] = '"' + value + '"';
    readDefines("resources/resource_ids.h", reader.defines);
    readDefines("resources/project_links.h", reader.defines);

    DialogTemplate d;
    const std::vector<std::string> lines = fileLines("resources/kelvara.rc");
    auto line = std::find_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.rfind(name + " DIALOGEX ", 0) == 0; });
    EXPECT_NE(line, lines.end()) << "no dialog " << name;
    if (line == lines.end())
        return d;
    const auto size = arguments(line->substr(name.size() + 10));
    d.width = reader.number(size.at(2));
    d.height = reader.number(size.at(3));
    for (++line; line != lines.end() && *line != "END"; ++line) {
        std::istringstream in(*line);
        std::string statement, rest;
        in >> statement;
        std::getline(in >> std::ws, rest);
        if (statement.empty() || statement.rfind("//", 0) == 0 || statement == "BEGIN")
            continue;
        const auto args = arguments(rest);
        if (statement == "STYLE")
            d.styles = Reader::styles(args[0]);
        else if (statement == "CAPTION")
            reader.text(args[0], d.caption);
        else if (statement == "FONT") {
            d.fontSize = reader.number(args[0]);
            reader.text(args.at(1), d.fontName);
        } else
            d.controls.push_back(reader.control(statement, args));
    }
    return d;
}

} // namespace kelvara::test
