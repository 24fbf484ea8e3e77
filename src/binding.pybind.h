#pragma once
// The conventions every Python class of the module follows: argument
// conversion with the module's messages, hashing, and member declarations
// that carry both the runtime docstring (with its text signature) and the
// typed line of the package stub, from one declaration.
#include <pybind11/numpy.h>
#include <pybind11/complex.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "groups/permutation.h"

namespace dravik::bind {

namespace py = pybind11;

// ---------------------------------------------------------------- stubs

struct StubClass {
    std::string name;
    std::string doc;
    std::vector<std::string> members;  // rendered, indented stub text
};

// Classes in registration order; the module appends to it as it binds.
std::deque<StubClass> &stub_classes();
StubClass &stub_class(const std::string &name);
// Extra stub text for names that exist only in type metadata.
std::vector<std::string> &stub_extra();
std::string render_stub();

// "(self, a: T = x) -> R" -> "(self, a=x)": the text signature Python reads.
std::string text_signature(const std::string &annotated);
// Runtime docstring "name(args)\n--\n\ndoc".
std::string runtime_doc(const std::string &name, const std::string &annotated, const std::string &doc);

// ------------------------------------------------------------ conversion

// TypeErrors raised while converting a named parameter carry the prefix
// "argument 'NAME': "; other errors pass through unchanged.
[[noreturn]] void type_error(const char *param, const std::string &message);
std::string type_name(py::handle obj);

uint8_t to_u8(py::handle obj, const char *param);
uint16_t to_u16(py::handle obj, const char *param);
uint32_t to_u32(py::handle obj, const char *param);
uint64_t to_u64(py::handle obj, const char *param);
std::size_t to_usize(py::handle obj, const char *param);
int64_t to_i64(py::handle obj, const char *param);
double to_f64(py::handle obj, const char *param);
std::string to_str(py::handle obj, const char *param);

// A sequence other than str/bytes; the items, in order.
std::vector<py::object> to_items(py::handle obj, const char *param);

template <typename T, typename F>
std::vector<T> to_vec(py::handle obj, const char *param, F &&item) {
    auto items = to_items(obj, param);
    std::vector<T> out;
    out.reserve(items.size());
    for (auto &h : items) out.push_back(item(h));
    return out;
}

// An instance of a registered class (or subclass), by reference.
template <typename T>
T &to_cls(py::handle obj, const char *param, const char *pyname) {
    if (!py::isinstance<T>(obj)) type_error(param, "'" + type_name(obj) + "' object cannot be converted to '" + pyname + "'");
    return obj.cast<T &>();
}

// Permutations: from any sequence of ints 0..255 (validated), to a tuple.
Permut32 to_permut(py::handle obj, const char *param);
py::tuple permut_to_py(Permut32 p);

// Python hash from the native 64-bit hash: low bits as signed, -1 -> -2.
inline py::int_ py_hash(uint64_t h) {
    auto s = static_cast<int64_t>(h);
    return py::int_(s == -1 ? int64_t(-2) : s);
}

// ------------------------------------------------------------- members

void set_class_doc(py::handle cls, const std::string &full, const std::string &description);

// Deleting a settable property raises AttributeError "can't delete attribute".
void forbid_delete(py::handle cls, const char *name);

template <typename T>
class Class {
   public:
    Class(py::module_ &m, const char *name, const std::string &doc, const std::string &ctor_sig = "")
        : cls_(m, name), stub_(stub_class(name)) {
        // The stored docstring carries the constructor's text signature;
        // Python shows only the description as __doc__.
        set_class_doc(cls_, ctor_sig.empty() ? doc : runtime_doc(name, ctor_sig, doc), doc);
        stub_.doc = doc;
        m.attr("__all__").attr("append")(name);
    }

    py::class_<T> &cls() { return cls_; }
    StubClass &stub() { return stub_; }

    // Instance method: sig is "(self, a: T) -> R".
    template <typename F, typename... Extra>
    Class &method(const char *name, const std::string &sig, const std::string &doc, F &&f, const Extra &...extra) {
        cls_.def(name, std::forward<F>(f), py::doc(runtime_doc(name, sig, doc).c_str()), extra...);
        add_stub("def " + std::string(name) + sig, doc, false);
        return *this;
    }

    template <typename F, typename... Extra>
    Class &static_method(const char *name, const std::string &sig, const std::string &doc, F &&f,
                         const Extra &...extra) {
        cls_.def_static(name, std::forward<F>(f), py::doc(runtime_doc(name, sig, doc).c_str()), extra...);
        add_stub("@staticmethod\n    def " + std::string(name) + sig, doc, false);
        return *this;
    }

    // Constructor: sig is "(self, a: T)"; the docstring only describes it.
    template <typename F, typename... Extra>
    Class &init(const std::string &sig, const std::string &doc, F &&f, const Extra &...extra) {
        std::string text = "__init__" + text_signature(sig) + "\n--\n\n" + doc;
        cls_.def(py::init(std::forward<F>(f)), py::doc(text.c_str()), extra...);
        add_stub("def __init__" + sig + " -> None", doc, false);
        return *this;
    }

    template <typename G>
    Class &property(const char *name, const std::string &type, const std::string &doc, G &&getter) {
        cls_.def_property_readonly(name, std::forward<G>(getter), py::doc(doc.c_str()));
        add_stub("@property\n    def " + std::string(name) + "(self) -> " + type, doc, false);
        return *this;
    }

    template <typename G, typename S>
    Class &property_rw(const char *name, const std::string &type, const std::string &doc, G &&getter, S &&setter) {
        cls_.def_property(name, std::forward<G>(getter), std::forward<S>(setter), py::doc(doc.c_str()));
        forbid_delete(cls_, name);
        add_stub("@property\n    def " + std::string(name) + "(self) -> " + type, doc, false);
        add_stub("@" + std::string(name) + ".setter\n    def " + std::string(name) + "(self, value: " + type +
                     ") -> None",
                 "", false);
        return *this;
    }

    // Protocol slot (__eq__, __hash__, ...): stub line only, no docstring text.
    template <typename F, typename... Extra>
    Class &slot(const char *name, const std::string &sig, F &&f, const Extra &...extra) {
        cls_.def(name, std::forward<F>(f), extra...);
        add_stub("def " + std::string(name) + sig, "", false);
        return *this;
    }

   private:
    void add_stub(const std::string &decl, const std::string &doc, bool) {
        std::string s = "    " + decl + ":";
        if (doc.empty()) {
            s += " ...";
        } else {
            s += "\n        \"\"\"" + doc + "\"\"\"";
        }
        stub_.members.push_back(s);
    }

    py::class_<T> cls_;
    StubClass &stub_;
};

// Equality-only comparison: == / != on the native values, NotImplemented for
// other operand types and for the ordering operators.
template <typename T>
void equality_only(Class<T> &c) {
    c.slot("__eq__", "(self, other: builtins.object) -> builtins.bool", [](py::object self, py::object other) -> py::object {
        if (!py::isinstance<T>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(self.cast<const T &>() == other.cast<const T &>());
    });
    c.slot("__ne__", "(self, other: builtins.object) -> builtins.bool", [](py::object self, py::object other) -> py::object {
        if (!py::isinstance<T>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(!(self.cast<const T &>() == other.cast<const T &>()));
    });
}

// Full ordering through a three-way compare returning <0, 0, >0.
template <typename T, typename Cmp>
void full_ordering(Class<T> &c, Cmp cmp) {
    auto op = [cmp](auto pred) {
        return [cmp, pred](py::object self, py::object other) -> py::object {
            if (!py::isinstance<T>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
            return py::bool_(pred(cmp(self.cast<const T &>(), other.cast<const T &>())));
        };
    };
    const std::string sig = "(self, other: builtins.object) -> builtins.bool";
    c.slot("__eq__", sig, op([](int r) { return r == 0; }));
    c.slot("__ne__", sig, op([](int r) { return r != 0; }));
    c.slot("__lt__", sig, op([](int r) { return r < 0; }));
    c.slot("__le__", sig, op([](int r) { return r <= 0; }));
    c.slot("__gt__", sig, op([](int r) { return r > 0; }));
    c.slot("__ge__", sig, op([](int r) { return r >= 0; }));
}

// Dense complex matrices: a 2-D complex128 array, or whatever numpy.asarray
// (without a dtype) turns into one.
py::array_t<std::complex<double>> to_complex_matrix(py::handle obj, const char *param);

}  // namespace dravik::bind
