// Command-line parsing of the archiver stand-in.
#include "TarCommand.h"

#include <cctype>
#include <cstring>

namespace tar32 {
namespace {

constexpr std::size_t kLongestLine = 4096;

// Blank-separated tokens; a token may be enclosed in double quotes.
bool Tokenize(const char* line, std::vector<std::string>* tokens) {
  const char* p = line;
  while (*p) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    std::string token;
    if (*p == '"') {
      ++p;
      while (*p && *p != '"') token += *p++;
      if (*p != '"') return false;  // unterminated quote
      ++p;
      if (*p && *p != ' ' && *p != '\t') return false;
    } else {
      while (*p && *p != ' ' && *p != '\t') {
        if (*p == '"') return false;
        token += *p++;
      }
    }
    if (token.empty()) return false;
    tokens->push_back(token);
  }
  return true;
}

bool ParseNumber(const std::string& text, int* value) {
  if (text.empty() || text.size() > 4) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

bool ParseOption(const std::string& token, TarCommand* out) {
  static const char kDisplay[] = "--display-dialog=";
  static const char kUseDirectory[] = "--use-directory=";
  int value = 0;
  if (token.rfind(kDisplay, 0) == 0) {
    if (!ParseNumber(token.substr(sizeof kDisplay - 1), &value) || value > 1) return false;
    out->display = value;
    return true;
  }
  if (token.rfind(kUseDirectory, 0) == 0) {
    if (!ParseNumber(token.substr(sizeof kUseDirectory - 1), &value) || value > 1) return false;
    out->useDirectory = value != 0;
    return true;
  }
  return false;
}

bool ParseLetters(const std::string& token, TarCommand* out) {
  bool archiveNamed = false;
  for (char c : token) {
    switch (c) {
      case 'c':
      case 'x':
        if (out->operation) return false;
        out->operation = c;
        break;
      case 'v':
        out->verbose = true;
        break;
      case 'f':
        if (archiveNamed) return false;
        archiveNamed = true;
        break;
      case 'Z':
      case 'z':
        out->compress = true;
        break;
      case 'o':
        out->keepOwners = false;
        break;
      default:
        return false;
    }
  }
  return out->operation != 0 && archiveNamed;
}

}  // namespace

bool ParseTarCommand(const char* line, TarCommand* out) {
  *out = TarCommand{};
  if (!line || std::strlen(line) > kLongestLine) return false;
  std::vector<std::string> tokens;
  if (!Tokenize(line, &tokens)) return false;
  std::size_t i = 0;
  for (; i < tokens.size() && tokens[i].rfind("--", 0) == 0; ++i)
    if (!ParseOption(tokens[i], out)) return false;
  if (i >= tokens.size() || !ParseLetters(tokens[i], out)) return false;
  ++i;
  if (i + 2 > tokens.size()) return false;  // archive and directory are required
  out->archive = tokens[i++];
  out->directory = tokens[i++];
  if (out->archive[0] == '@' || out->directory[0] == '@') return false;
  for (; i < tokens.size(); ++i) {
    const std::string& t = tokens[i];
    if (t[0] == '@') {
      if (t.size() == 1 || !out->listFile.empty()) return false;
      out->listFile = t.substr(1);
    } else if (t.rfind("--", 0) == 0) {
      return false;
    } else {
      out->names.push_back(t);
    }
  }
  // A create must name what to pack.
  if (out->operation == 'c' && out->listFile.empty() && out->names.empty()) return false;
  return true;
}

std::vector<std::string> SplitListText(const std::string& text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.pop_back();
    std::size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos) names.push_back(line.substr(first));
    start = end + 1;
  }
  return names;
}

bool WildcardMatch(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0 || std::strcmp(pattern, "*") == 0) return true;
  // Iterative match with one backtrack point.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '?' || (*pattern && *pattern != '*' &&
                            std::tolower(static_cast<unsigned char>(*pattern)) ==
                                std::tolower(static_cast<unsigned char>(*name)))) {
      ++pattern;
      ++name;
    } else if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace tar32
