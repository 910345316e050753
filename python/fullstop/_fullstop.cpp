// The Python extension over fullstop's public C API (<fullstop/fullstop.h>)
// alone: the GIL released while a text is split, byte offsets turned into
// character indices on the way out, and streams for text that comes in
// pieces.
#include <Python.h>
#include <pybind11/pybind11.h>

#include <fullstop/fullstop.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// Owns what the C API allocates.
struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};
using Spans = std::unique_ptr<fullstop_span[], FreeDeleter>;
using Pairs = std::vector<std::pair<int64_t, int64_t>>;

std::string take_message(char *message) {
  std::string text = message != nullptr ? message : "unknown error";
  std::free(message);
  return text;
}

// A C++ exception needs no GIL: pybind11 turns it into ValueError later.
int64_t checked(int64_t n, char *error) {
  if (n < 0) throw py::value_error(take_message(error));
  return n;
}

Pairs to_pairs(const fullstop_span *spans, int64_t n) {
  Pairs out;
  out.reserve(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; i++) out.emplace_back(spans[i].start, spans[i].end);
  return out;
}

py::list to_list(const Pairs &spans) {
  PyObject *list = PyList_New(static_cast<Py_ssize_t>(spans.size()));
  if (list == nullptr) throw py::error_already_set();
  py::list result = py::reinterpret_steal<py::list>(list);
  for (size_t i = 0; i < spans.size(); i++) {
    PyObject *pair = Py_BuildValue("(LL)", static_cast<long long>(spans[i].first),
                                   static_cast<long long>(spans[i].second));
    if (pair == nullptr) throw py::error_already_set();
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), pair);
  }
  return result;
}

// The bytes of a bytes object.
std::pair<const char *, size_t> bytes_of(const py::bytes &data) {
  char *buffer = nullptr;
  Py_ssize_t len = 0;
  if (PyBytes_AsStringAndSize(data.ptr(), &buffer, &len) != 0) throw py::error_already_set();
  return {buffer, static_cast<size_t>(len)};
}

// A loaded model; immutable, so any number of threads may split with it at once.
class Model {
 public:
  explicit Model(fullstop_model *m)
      : model_(m, &fullstop_model_free) {}

  static Model parse(py::bytes data) {
    auto [buffer, len] = bytes_of(data);
    char *error = nullptr;
    fullstop_model *m = nullptr;
    {
      py::gil_scoped_release nogil;
      m = fullstop_model_parse(buffer, len, &error);
    }
    if (m == nullptr) throw py::value_error(take_message(error));
    return Model(m);
  }

  bool unicode() const { return fullstop_model_text_mode(model_.get()) == FULLSTOP_TEXT_UNICODE; }
  size_t records() const { return fullstop_model_records(model_.get()); }
  py::object warning() const {
    const char *w = fullstop_model_warning(model_.get());
    if (w == nullptr) return py::none();
    return py::str(w);
  }
  const std::shared_ptr<fullstop_model> &handle() const { return model_; }

  // Sentences of a str (character indices) or of a bytes-like object (byte offsets).
  py::list spans(py::handle text, int jobs) const {
    if (PyUnicode_Check(text.ptr())) return to_list(str_pairs(text, jobs));
    py::buffer_info info = py::reinterpret_borrow<py::buffer>(text).request();
    if (info.ndim > 1 || info.itemsize != 1 || (info.ndim == 1 && info.strides[0] != 1))
      throw py::type_error("text: expected str or contiguous bytes");
    const char *data = static_cast<const char *>(info.ptr);
    size_t len = static_cast<size_t>(info.size);
    Pairs out;
    {
      py::gil_scoped_release nogil;
      out = split(data, len, jobs);
    }
    return to_list(out);
  }

  // What `fullstop -m MODEL -F` writes for these bytes: each sentence's text
  // with whitespace runs as the model's text mode collapses them, a line each.
  py::bytes text_lines(py::bytes text, int jobs) const {
    auto [data, len] = bytes_of(text);
    char *lines = nullptr, *error = nullptr;
    size_t lines_len = 0;
    int status;
    {
      py::gil_scoped_release nogil;
      status = fullstop_render(model_.get(), data, len, FULLSTOP_FORMAT_LINES, jobs, &lines, &lines_len, &error);
    }
    if (status != 0) throw py::value_error(take_message(error));
    std::unique_ptr<char, FreeDeleter> owned(lines);
    return py::bytes(lines, lines_len);
  }

  // The sentences of a str or bytes object, stripped as str.strip and
  // bytes.strip strip, empty ones dropped: the pieces are cut here rather
  // than from a list of index pairs, which would cost as much as the split.
  py::list split_text(py::handle text, int jobs) const {
    py::list out;
    if (PyUnicode_Check(text.ptr())) {
      Pairs spans = str_pairs(text, jobs);
      PyObject *s = text.ptr();
      int kind = PyUnicode_KIND(s);
      const void *data = PyUnicode_DATA(s);
      for (auto [a, b] : spans) {
        while (a < b && Py_UNICODE_ISSPACE(PyUnicode_READ(kind, data, a))) a++;
        while (b > a && Py_UNICODE_ISSPACE(PyUnicode_READ(kind, data, b - 1))) b--;
        if (a == b) continue;
        PyObject *piece = PyUnicode_Substring(s, a, b);
        if (piece == nullptr || PyList_Append(out.ptr(), piece) != 0) {
          Py_XDECREF(piece);
          throw py::error_already_set();
        }
        Py_DECREF(piece);
      }
      return out;
    }
    py::list pairs = spans(text, jobs);
    py::buffer_info info = py::reinterpret_borrow<py::buffer>(text).request();
    const auto *data = static_cast<const unsigned char *>(info.ptr);
    // bytes.strip's whitespace: ASCII space, \t, \n, \v, \f, \r.
    auto space = [](unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    for (py::handle pair : pairs) {
      auto a = PyLong_AsSsize_t(PyTuple_GET_ITEM(pair.ptr(), 0));
      auto b = PyLong_AsSsize_t(PyTuple_GET_ITEM(pair.ptr(), 1));
      while (a < b && space(data[a])) a++;
      while (b > a && space(data[b - 1])) b--;
      if (a == b) continue;
      out.append(py::bytes(reinterpret_cast<const char *>(data + a), static_cast<size_t>(b - a)));
    }
    return out;
  }

 private:
  // jobs: threads, as fullstop_split_jobs takes them (1: this one; 0: all
  // CPUs).  (On this thread a short text goes through a splitter the model
  // keeps: see fullstop_split.)
  Pairs split(const char *data, size_t len, int jobs) const {
    fullstop_span *raw = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_split_jobs(model_.get(), data, len, jobs, &raw, &error);
    Spans spans(raw);
    return to_pairs(spans.get(), checked(n, error));
  }

  // The sentences' indices in a str.
  Pairs str_pairs(py::handle text, int jobs) const {
    // ASCII text is its own UTF-8 and needs no index mapping.  Other text is
    // encoded with surrogatepass, so a lone surrogate (which no UTF-8 text
    // holds) becomes three bytes and still counts as one character.
    bool ascii = PyUnicode_IS_ASCII(text.ptr());
    py::object encoded;
    const char *data = nullptr;
    Py_ssize_t len = 0;
    if (ascii) {
      data = PyUnicode_AsUTF8AndSize(text.ptr(), &len);
      if (data == nullptr) throw py::error_already_set();
    } else {
      encoded = py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogatepass"));
      if (!encoded) throw py::error_already_set();
      data = PyBytes_AS_STRING(encoded.ptr());
      len = PyBytes_GET_SIZE(encoded.ptr());
    }
    Pairs out;
    {
      py::gil_scoped_release nogil;
      out = split(data, static_cast<size_t>(len), jobs);
      if (!ascii) {
        // Offsets come in order nearly always: count characters (bytes that
        // are no UTF-8 continuation) from the last offset, from 0 when one
        // goes back.
        const auto *bytes = reinterpret_cast<const unsigned char *>(data);
        int64_t pos = 0, chars = 0;
        auto index = [&](int64_t offset) {
          if (offset < pos) pos = chars = 0;
          for (; pos < offset; pos++) chars += (bytes[pos] & 0xC0) != 0x80;
          return chars;
        };
        for (auto &[a, b] : out) {
          a = index(a);
          b = index(b);
        }
      }
    }
    return out;
  }

  std::shared_ptr<fullstop_model> model_;
};

// Sentences of bytes that arrive in pieces (fullstop_stream_*): each call
// returns the (start, end) byte offsets, from the stream's start, of the
// sentences the bytes so far decide.  Holds the model.
class Stream {
 public:
  explicit Stream(const Model &model) : model_(model.handle()), stream_(nullptr, &fullstop_stream_free) {
    char *error = nullptr;
    stream_.reset(fullstop_stream_new(model_.get(), &error));
    if (stream_ == nullptr) throw py::value_error(take_message(error));
  }

  py::list feed(py::bytes data) {
    auto [bytes, len] = bytes_of(data);
    fullstop_span *raw = nullptr;
    char *error = nullptr;
    int64_t n;
    {
      py::gil_scoped_release nogil;
      n = fullstop_stream_feed(stream_.get(), bytes, len, &raw, &error);
    }
    Spans spans(raw);
    return to_list(to_pairs(spans.get(), checked(n, error)));
  }

  py::list pump() {
    fullstop_span *raw = nullptr;
    char *error = nullptr;
    int64_t n;
    {
      py::gil_scoped_release nogil;
      n = fullstop_stream_pump(stream_.get(), &raw, &error);
    }
    Spans spans(raw);
    return to_list(to_pairs(spans.get(), checked(n, error)));
  }

  py::list finish() {
    fullstop_span *raw = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_stream_finish(stream_.get(), &raw, &error);
    Spans spans(raw);
    return to_list(to_pairs(spans.get(), checked(n, error)));
  }

 private:
  std::shared_ptr<fullstop_model> model_;
  std::unique_ptr<fullstop_stream, void (*)(fullstop_stream *)> stream_;
};

// A string the C API allocated, or FileNotFoundError with its message: a
// model name that finds no file is a file not found, as a path would be.
std::string take_path(char *path, char *error) {
  if (path == nullptr) {
    PyErr_SetString(PyExc_FileNotFoundError, take_message(error).c_str());
    throw py::error_already_set();
  }
  std::string out = path;
  std::free(path);
  return out;
}

}  // namespace

PYBIND11_MODULE(_fullstop, m) {
  m.doc() = "fullstop's C library, as the fullstop package uses it.";
  m.attr("version") = fullstop_version();
  m.def(
      "find_model",
      [](const std::string &name, const std::string &folders) {
        char *error = nullptr;
        char *path = fullstop_model_find(name.c_str(), folders.c_str(), &error);
        return take_path(path, error);
      },
      py::arg("name"), py::arg("folders") = "", "The file a model name names (fullstop_model_find).");
  m.def(
      "model_search_path",
      [](const std::string &folders) {
        char *error = nullptr;
        char *joined = fullstop_model_search_path(folders.c_str(), &error);
        if (joined == nullptr) throw py::value_error(take_message(error));
        std::string out = joined;
        std::free(joined);
        return out;
      },
      py::arg("folders") = "", "The folders find_model searches, colon-separated.");
  py::class_<Model>(m, "Model")
      .def_static("parse", &Model::parse, py::arg("data"), "A model from the bytes of a model file.")
      .def_property_readonly("unicode", &Model::unicode)
      .def_property_readonly("records", &Model::records)
      .def_property_readonly("warning", &Model::warning)
      .def("spans", &Model::spans, py::arg("text"), py::arg("jobs") = 1)
      .def("split", &Model::split_text, py::arg("text"), py::arg("jobs") = 1)
      .def("text_lines", &Model::text_lines, py::arg("text"), py::arg("jobs") = 1)
      .def("stream", [](const Model &model) { return Stream(model); }, "A stream of bytes to split.");
  py::class_<Stream>(m, "Stream")
      .def("feed", &Stream::feed, py::arg("data"), "Byte spans of the sentences these bytes decide.")
      .def("pump", &Stream::pump, "Byte spans of the sentences the complete lines so far decide.")
      .def("finish", &Stream::finish, "Byte spans of the remaining sentences.");
}
