// function_size SOURCE_DIR LIMIT FOLDER...
// Prints every function in the folders' .cpp and .h files that spans more
// than LIMIT lines, from the first line of its signature to its closing brace,
// and fails when there is one. With LIMIT 0 it lists every function, longest
// first, without failing.
//
// A scan of braces rather than a parse: comments, string and character
// literals and preprocessor lines are blanked first, then each '{' at
// namespace or class scope is a function's body when the text before it since
// the last ';', '{' or '}' holds a parameter list and no '=' ahead of it (an
// initialised variable), or names an operator. Everything inside a function,
// lambdas and local classes included, counts as the function's.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Function {
    std::string where; // file:line
    std::string name;
    int lines;
};

// The text with comments, literals and preprocessor lines turned to blanks;
// newlines stay, so offsets keep their line numbers.
std::string blanked(const std::string& in) {
    std::string out = in;
    std::size_t i = 0;
    bool lineStart = true;
    auto blank = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to && k < out.size(); ++k) {
            if (out[k] != '\n')
                out[k] = ' ';
        }
    };
    while (i < in.size()) {
        const char c = in[i];
        if (lineStart && c == '#') {
            std::size_t end = i;
            while (end < in.size() && !(in[end] == '\n' && in[end - 1] != '\\'))
                ++end;
            blank(i, end);
            i = end;
            continue;
        }
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (c != ' ' && c != '\t')
            lineStart = false;
        if (c == '/' && i + 1 < in.size() && in[i + 1] == '/') {
            const std::size_t end = in.find('\n', i);
            blank(i, end == std::string::npos ? in.size() : end);
            i = end == std::string::npos ? in.size() : end;
        } else if (c == '/' && i + 1 < in.size() && in[i + 1] == '*') {
            const std::size_t end = in.find("*/", i + 2);
            const std::size_t stop = end == std::string::npos ? in.size() : end + 2;
            blank(i, stop);
            i = stop;
        } else if (c == 'R' && i + 1 < in.size() && in[i + 1] == '"' &&
                   (i == 0 || !(std::isalnum(static_cast<unsigned char>(in[i - 1])) || in[i - 1] == '_'))) {
            const std::size_t open = in.find('(', i);
            const std::string close = ")" + in.substr(i + 2, open - i - 2) + "\"";
            const std::size_t end = in.find(close, open);
            const std::size_t stop = end == std::string::npos ? in.size() : end + close.size();
            blank(i, stop);
            i = stop;
        } else if (c == '"' ||
                   (c == '\'' && !(i > 0 && std::isxdigit(static_cast<unsigned char>(in[i - 1]))))) {
            // A quote after a digit is a digit separator (1'000), not a literal.
            std::size_t k = i + 1;
            while (k < in.size() && in[k] != c && in[k] != '\n')
                k += in[k] == '\\' ? 2 : 1;
            blank(i, k + 1);
            i = k + 1;
        } else {
            ++i;
        }
    }
    return out;
}

enum class Scope { Outer, Function, Other };

int lineAt(const std::string& text, std::size_t offset) {
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

// What the '{' that ends `header` opens, seen from namespace or class scope.
Scope kindOf(const std::string& header) {
    static const std::regex kOperator(R"(\boperator\b)");
    static const std::regex kScope(R"(\b(namespace|struct|class|union|extern)\b)");
    const std::size_t paren = header.find('(');
    std::size_t assign = std::string::npos;
    for (std::size_t k = 0; k < header.size(); ++k) {
        const bool lone = header[k] == '=' && (k + 1 == header.size() || header[k + 1] != '=') &&
                          (k == 0 || std::string("=!<>+-*/%&|^").find(header[k - 1]) == std::string::npos);
        if (lone) {
            assign = k;
            break;
        }
    }
    if (std::regex_search(header, kOperator))
        return Scope::Function;
    if (paren != std::string::npos && (assign == std::string::npos || assign > paren))
        return std::regex_search(header.substr(0, paren), kScope) && header.find(')') == std::string::npos
                   ? Scope::Outer
                   : Scope::Function;
    if (assign == std::string::npos && std::regex_search(header, kScope))
        return Scope::Outer;
    return Scope::Other;
}

std::string nameIn(const std::string& header) {
    const std::size_t paren = header.find('(');
    std::size_t end = paren == std::string::npos ? header.size() : paren;
    while (end > 0 && header[end - 1] == ' ')
        --end;
    std::size_t begin = end;
    while (begin > 0 && (std::isalnum(static_cast<unsigned char>(header[begin - 1])) ||
                         header[begin - 1] == '_' || header[begin - 1] == ':' || header[begin - 1] == '~'))
        --begin;
    return header.substr(begin, end - begin);
}

void scan(const std::filesystem::path& file, const std::string& shown, std::vector<Function>& found) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = blanked(buffer.str());

    struct Open {
        Scope scope;
        std::size_t start; // where a function's signature begins
        std::string name;
    };
    std::vector<Open> stack;
    std::size_t statement = 0; // just after the last ';', '{' or '}' at the current level
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool outer = stack.empty() || stack.back().scope == Scope::Outer;
        if (c == ';' && outer) {
            statement = i + 1;
        } else if (c == '{') {
            if (!outer) {
                stack.push_back({Scope::Other, 0, {}});
                continue;
            }
            std::string header = text.substr(statement, i - statement);
            for (char& h : header)
                h = h == '\n' || h == '\t' ? ' ' : h;
            const std::size_t first = text.find_first_not_of(" \t\n", statement);
            stack.push_back({kindOf(header), first, nameIn(header)});
            statement = i + 1;
        } else if (c == '}') {
            if (stack.empty())
                continue;
            const Open open = stack.back();
            stack.pop_back();
            if (open.scope == Scope::Function) {
                const int first = lineAt(text, open.start);
                found.push_back(
                    {shown + ":" + std::to_string(first), open.name, lineAt(text, i) - first + 1});
            }
            if (stack.empty() || stack.back().scope == Scope::Outer)
                statement = i + 1;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: function_size SOURCE_DIR LIMIT FOLDER...\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const int limit = std::atoi(argv[2]);
    std::vector<Function> found;
    for (int a = 3; a < argc; ++a) {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / argv[a])) {
            const auto ext = entry.path().extension();
            if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h"))
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files)
            scan(file, std::filesystem::relative(file, root).string(), found);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Function& a, const Function& b) { return a.lines > b.lines; });
    int over = 0;
    for (const Function& f : found) {
        if (limit > 0 && f.lines <= limit)
            break;
        std::printf("%s: %s: %d lines\n", f.where.c_str(), f.name.c_str(), f.lines);
        ++over;
    }
    if (limit > 0 && over > 0) {
        std::printf("%d function(s) over %d lines\n", over, limit);
        return 1;
    }
    if (limit > 0)
        std::printf("functions: none over %d lines (%zu read)\n", limit, found.size());
    return 0;
}
