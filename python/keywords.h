#pragma once
// The keyword arguments of the vexfcbl module's functions: one table per
// function maps each name onto the settings it changes; the docstrings, the
// stub check and the refusal of unknown names read the table.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace vexpy {

namespace py = pybind11;

inline std::string typeName(py::handle value) {
  return py::str(py::type::of(value).attr("__name__")).cast<std::string>();
}

[[noreturn]] inline void wrongType(const char *option, const char *wanted, py::handle value) {
  throw py::type_error(std::string(option) + " must be " + wanted + ", not " + typeName(value));
}

inline bool flagOf(py::handle value, const char *option) {
  if (!py::isinstance<py::bool_>(value))
    wrongType(option, "True or False", value);
  return value.cast<bool>();
}

// A str is taken as UTF-8, bytes as they are: copybooks come in many code
// pages, and the scanner reads bytes.
inline std::string bytesOf(py::handle value, const char *option) {
  if (py::isinstance<py::bytes>(value))
    return value.cast<std::string>();
  if (py::isinstance<py::str>(value))
    return value.cast<std::string>();
  wrongType(option, "str or bytes", value);
}

inline std::string textOf(py::handle value, const char *option) {
  if (!py::isinstance<py::str>(value))
    wrongType(option, "a str", value);
  return value.cast<std::string>();
}

// A path: str or os.PathLike.
inline std::string pathOf(py::handle value, const char *option) {
  if (py::isinstance<py::str>(value))
    return value.cast<std::string>();
  if (py::hasattr(value, "__fspath__"))
    return py::module_::import("os").attr("fspath")(value).cast<std::string>();
  wrongType(option, "a sequence of str or os.PathLike", value);
}

// A sequence, but not one text: copy_dirs="books" is a mistake, not five
// folders of one letter.
inline std::vector<std::string> pathsOf(py::handle value, const char *option) {
  if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) ||
      !py::isinstance<py::sequence>(value))
    wrongType(option, "a sequence of str or os.PathLike", value);
  std::vector<std::string> paths;
  for (py::handle item : value)
    paths.push_back(pathOf(item, option));
  return paths;
}

// The keyword arguments a function takes: each applies its value to the
// settings the function works under. One table per function; the
// docstrings, the stub check and the refusal of unknown names read it.
template <typename Settings> struct Keyword {
  const char *name;
  const char *type; // as the docstring shows it
  const char *help;
  void (*apply)(Settings &, py::handle value, const char *name);
};

template <typename Settings, std::size_t N>
void applyKeywords(const Keyword<Settings> (&table)[N], Settings &settings, const py::kwargs &given,
                   const char *function) {
  for (auto [key, value] : given) {
    const std::string name = py::str(key).cast<std::string>();
    const Keyword<Settings> *found = nullptr;
    for (const Keyword<Settings> &keyword : table)
      if (name == keyword.name)
        found = &keyword;
    if (found == nullptr)
      throw py::type_error(std::string(function) + "() got an unexpected keyword argument '" +
                           name + "'");
    found->apply(settings, value, found->name);
  }
}

template <typename Settings, std::size_t N>
std::string keywordDoc(const Keyword<Settings> (&table)[N]) {
  std::string doc = "\n\nKeyword arguments:\n";
  for (const Keyword<Settings> &keyword : table)
    doc += "    " + std::string(keyword.name) + " (" + keyword.type + "): " + keyword.help + "\n";
  return doc;
}

template <typename Settings, std::size_t N>
py::list keywordList(const Keyword<Settings> (&table)[N]) {
  py::list list;
  for (const Keyword<Settings> &keyword : table)
    list.append(py::make_tuple(keyword.name, keyword.type, keyword.help));
  return list;
}

} // namespace vexpy
