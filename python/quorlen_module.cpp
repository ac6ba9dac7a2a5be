// The Python module "quorlen" over the library's C++ API. Inputs are borrowed through
// the buffer protocol without a copy, and the GIL is released while the library works,
// so other Python threads run meanwhile.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <span>
#include <stdexcept>
#include <vector>

#include "quorlen/quorlen.hpp"

namespace py = pybind11;

namespace {

// Raised as quorlen.Error, a ValueError: a corrupt stream or an input too large.
class StreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void raise(const quorlen::Error& error) {
  if (error.kind == quorlen::ErrorKind::outOfMemory) throw std::bad_alloc();  // MemoryError
  throw StreamError(error.message);
}

// A contiguous view of any buffer-protocol object (bytes, bytearray, memoryview, mmap,
// array), held until destruction so that the object cannot be resized meanwhile.
class BufferView {
 public:
  explicit BufferView(py::handle object) {
    if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  }
  ~BufferView() { PyBuffer_Release(&view_); }
  BufferView(const BufferView&) = delete;
  BufferView& operator=(const BufferView&) = delete;

  std::span<const std::uint8_t> bytes() const {
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

py::bytes toBytes(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

py::bytes compress(py::handle data) {
  const BufferView input(data);
  quorlen::CompressResult result;
  {
    py::gil_scoped_release unlocked;
    result = quorlen::compress(input.bytes());
  }
  if (!result.ok()) raise(result.error);
  return toBytes(result.stream);
}

py::bytes decompress(py::handle data) {
  const BufferView input(data);
  quorlen::DecompressResult result;
  {
    py::gil_scoped_release unlocked;
    result = quorlen::decompress(input.bytes());
  }
  if (!result.ok()) raise(result.error);
  return toBytes(result.bytes);
}

quorlen::Reader openReader(py::handle data) {
  const BufferView input(data);
  quorlen::ReaderResult result;
  {
    py::gil_scoped_release unlocked;
    result = quorlen::openReader(input.bytes());
  }
  if (!result.ok()) raise(result.error);
  return std::move(result.reader);
}

// The restored bytes [offset, offset + length), clipped at the end, read straight into
// the new bytes object.
py::bytes readRange(const quorlen::Reader& reader, std::uint64_t offset, std::uint64_t length) {
  const std::uint64_t size = reader.size();
  const std::uint64_t count = offset >= size ? 0 : std::min(length, size - offset);
  PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(count));
  if (bytes == nullptr) throw py::error_already_set();
  auto result = py::reinterpret_steal<py::bytes>(bytes);
  const std::span<std::uint8_t> out(reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(bytes)), count);
  {
    py::gil_scoped_release unlocked;
    reader.read(offset, out);
  }
  return result;
}

py::bytes readBytes(const quorlen::Reader& reader, std::int64_t offset, std::int64_t length) {
  if (offset < 0 || length < 0) throw py::value_error("offset and length must not be negative");
  return readRange(reader, static_cast<std::uint64_t>(offset), static_cast<std::uint64_t>(length));
}

py::bytes slice(const quorlen::Reader& reader, const py::slice& range) {
  py::ssize_t start = 0, stop = 0, step = 0, length = 0;
  if (!range.compute(static_cast<py::ssize_t>(reader.size()), &start, &stop, &step, &length))
    throw py::error_already_set();
  if (step != 1) throw py::value_error("Reader slices take no step");
  return readRange(reader, static_cast<std::uint64_t>(start), static_cast<std::uint64_t>(length));
}

int byteAt(const quorlen::Reader& reader, py::ssize_t index) {
  const auto size = static_cast<py::ssize_t>(reader.size());
  if (index < 0) index += size;
  if (index < 0 || index >= size) throw py::index_error("Reader index out of range");
  std::uint8_t byte = 0;
  reader.read(static_cast<std::uint64_t>(index), {&byte, 1});
  return byte;
}

}  // namespace

PYBIND11_MODULE(quorlen, module) {
  module.doc() =
      "Grammar-based compression of byte strings.\n\n"
      "compress() gives the exact stream the quorlen program writes; decompress() and\n"
      "Reader accept any object with the buffer protocol.";
  module.attr("__version__") = quorlen::version();
  py::register_exception<StreamError>(module, "Error", PyExc_ValueError);

  module.def("compress", &compress, py::arg("data"),
             "The compressed stream of the bytes in data. Raises quorlen.Error when the input is "
             "too large, MemoryError when memory runs out.");
  module.def("decompress", &decompress, py::arg("data"),
             "The bytes the stream in data restores. Raises quorlen.Error for a corrupt stream.");

  py::class_<quorlen::Reader>(module, "Reader",
                              "Random access to the bytes a stream restores, without restoring "
                              "the rest. len(r), r.read(offset, length), r[a:b], r[i].")
      .def(py::init(&openReader), py::arg("data"),
           "Checks the whole stream (quorlen.Error when it is corrupt); data may be released after.")
      .def("__len__", [](const quorlen::Reader& reader) { return reader.size(); })
      .def("read", &readBytes, py::arg("offset"), py::arg("length"),
           "The restored bytes [offset, offset + length), clipped at the end.")
      .def("__getitem__", &slice)
      .def("__getitem__", &byteAt);
}
