#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// One unfolded line of a vCard file, "[group.]NAME[;PARAM=a,b...]:value",
// split into its parts. Names are upper-cased; the value stays raw (escaped,
// possibly quoted-printable).
struct VCardContentLine {
  struct Parameter {
    std::string name;  // upper case; a bare 2.1 value ("HOME") is listed under TYPE
    std::vector<std::string> values;
  };

  std::string group;
  std::string name;
  std::vector<Parameter> parameters;
  std::string value;

  // Every value of the parameters called `name` (upper case), in order; TYPE
  // values are split at commas.
  std::vector<std::string> parameterValues(std::string_view wanted) const;
  // The first of them.
  std::optional<std::string> parameter(std::string_view wanted) const;

  // Nothing when the line has no ":" outside quotes or no name.
  static std::optional<VCardContentLine> parse(std::string_view line);

  // The logical lines of `text`: physical lines (CRLF, LF or CR) joined where
  // the next one starts with a space or tab, or where a quoted-printable
  // value ends with a soft line break ("="). Blank lines are dropped.
  static std::vector<std::string> unfold(std::string_view text);

 private:
  static bool isQuotedPrintableStart(std::string_view line);
};

}  // namespace tessellon
