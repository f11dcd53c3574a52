#include "unit/dialog_template.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace kelvara::test {
namespace {

using Words = std::vector<std::string>;

std::vector<std::string> fileLines(const std::string& relative) {
    std::ifstream in(std::string(KELVARA_SOURCE_DIR) + "/" + relative);
    EXPECT_TRUE(in) << "cannot read " << relative;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.find_last_not_of(" \t\r") + 1));
    return lines;
}

// A statement's arguments split at the commas outside quotes, each a list of
// words: quoted strings keep their quotes, the `|` between styles is dropped.
std::vector<Words> arguments(const std::string& text) {
    std::vector<Words> args(1);
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        std::size_t end = i + 1;
        if (c == '"') {
            end = text.find('"', i + 1) + 1;
            args.back().push_back(text.substr(i, end - i));
        } else if (c == ',') {
            args.emplace_back();
        } else if (!std::isspace(static_cast<unsigned char>(c)) && c != '|') {
            end = text.find_first_of(" \t,|", i);
            end = end == std::string::npos ? text.size() : end;
            args.back().push_back(text.substr(i, end - i));
        }
        i = end;
    }
    return args;
}

struct Reader {
    std::map<std::string, std::string> defines; // as written: numbers, strings in their quotes

    void readDefines(const std::string& relative) {
        for (const std::string& line : fileLines(relative)) {
            std::istringstream words(line);
            std::string hash, name, value;
            if (words >> hash >> name && hash == "#define" && std::getline(words >> std::ws, value))
                defines.emplace(name, value);
        }
    }
    std::string expand(const std::string& word) const {
        const auto it = defines.find(word);
        return it == defines.end() ? word : it->second;
    }
    // Adjacent strings and string macros joined; false when a word is no string.
    bool text(const Words& words, std::string& out) const {
        out.clear();
        for (const std::string& word : words) {
            const std::string value = expand(word);
            if (value.size() < 2 || value.front() != '"')
                return false;
            out += value.substr(1, value.size() - 2);
        }
        return true;
    }
    int number(const Words& words) const { return std::stoi(expand(words.at(0))); }
    TemplateControl control(const std::string& statement, const std::vector<Words>& args) const;
};

TemplateControl Reader::control(const std::string& statement, const std::vector<Words>& args) const {
    // Each statement's window class and the type of control it makes.
    static const std::map<std::string, std::pair<std::string, std::string>> kStatements = {
        {"LTEXT", {"Static", "SS_LEFT"}},        {"RTEXT", {"Static", "SS_RIGHT"}},
        {"EDITTEXT", {"Edit", ""}},              {"COMBOBOX", {"ComboBox", ""}},
        {"GROUPBOX", {"Button", "BS_GROUPBOX"}}, {"PUSHBUTTON", {"Button", "BS_PUSHBUTTON"}},
        {"DEFPUSHBUTTON", {"Button", "BS_DEFPUSHBUTTON"}},
    };
    TemplateControl c;
    c.statement = statement;
    std::size_t at = 0;
    std::string text;
    const bool captioned = statement != "EDITTEXT" && statement != "COMBOBOX";
    const bool textual = captioned && this->text(args.at(at++), text);
    c.id = number(args.at(at++));
    if (statement == "CONTROL") {
        const Words& cls = args.at(at++);
        if (!this->text(cls, c.cls))
            c.cls = cls.at(0) == "TRACKBAR_CLASSA" ? "msctls_trackbar32" : cls.at(0);
        c.styles = args.at(at++);
    } else if (const auto it = kStatements.find(statement); it != kStatements.end()) {
        c.cls = it->second.first;
        if (!it->second.second.empty())
            c.styles.push_back(it->second.second);
    } else {
        ADD_FAILURE() << "a statement not known here: " << statement;
    }
    // A picture's "text" names a bitmap and a trackbar's is not shown.
    c.showsText = textual && (c.cls == "Static" || c.cls == "Button");
    if (c.showsText)
        c.text = text;
    c.x = number(args.at(at++));
    c.y = number(args.at(at++));
    c.w = number(args.at(at++));
    c.h = number(args.at(at++));
    if (at < args.size())
        c.styles.insert(c.styles.end(), args[at].begin(), args[at].end());
    return c;
}

} // namespace

bool TemplateControl::styled(const std::string& name) const {
    return std::find(styles.begin(), styles.end(), name) != styles.end();
}

const TemplateControl* DialogTemplate::withText(const std::string& text) const {
    const TemplateControl* found = nullptr;
    for (const TemplateControl& c : controls) {
        if (c.text != text)
            continue;
        EXPECT_EQ(found, nullptr) << "two controls say \"" << text << "\"";
        found = &c;
    }
    EXPECT_NE(found, nullptr) << "no control says \"" << text << "\"";
    return found;
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
        if (&c != &frame && c.x >= frame.x && c.y >= frame.y && c.x + c.w <= frame.x + frame.w &&
            c.y + c.h <= frame.y + frame.h)
            out.push_back(&c);
    return out;
}

DialogTemplate readDialogTemplate(const std::string& name, const std::map<std::string, std::string>& macros) {
    Reader reader;
    reader.defines = {{"IDC_STATIC", "-1"}, {"IDOK", "1"}, {"IDCANCEL", "2"}};
    for (const auto& [macro, value] : macros)
        reader.defines[macro] = '"' + value + '"';
    reader.readDefines("resources/resource_ids.h");
    reader.readDefines("resources/project_links.h");

    DialogTemplate d;
    const std::vector<std::string> lines = fileLines("resources/kelvara.rc");
    const std::string head = name + " DIALOGEX ";
    auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(head, 0) == 0; });
    if (line == lines.end()) {
        ADD_FAILURE() << "no dialog " << name;
        return d;
    }
    const std::vector<Words> size = arguments(line->substr(head.size()));
    d.width = reader.number(size.at(2));
    d.height = reader.number(size.at(3));
    for (++line; line != lines.end() && *line != "END"; ++line) {
        std::istringstream in(*line);
        std::string statement, rest;
        in >> statement;
        std::getline(in >> std::ws, rest);
        const std::vector<Words> args = arguments(rest);
        if (statement.empty() || statement.rfind("//", 0) == 0 || statement == "BEGIN")
            continue;
        if (statement == "STYLE") {
            d.styles = args.at(0);
        } else if (statement == "CAPTION") {
            reader.text(args.at(0), d.caption);
        } else if (statement == "FONT") {
            d.fontSize = reader.number(args.at(0));
            reader.text(args.at(1), d.fontName);
        } else {
            d.controls.push_back(reader.control(statement, args));
        }
    }
    return d;
}

} // namespace kelvara::test
