// File methods of the Python class ECCs: Quartz JSON export and the binary
// save file. Called by bind_eccs when it builds the class.
#include "binding.pybind.h"
#include "codec/codec.pybind.h"
#include "codec/layout.h"
#include "search/quartz.h"

namespace dravik::bind {

void bind_eccs_io(Class<ECCs> &c) {
    c.method("dump_quartz", "(self, filepath: builtins.str) -> None", "Exports ECCs to Quartz JSON format.",
             [](const ECCs &eccs, py::object filepath) {
                 std::string path = to_str(filepath, "filepath");
                 with_file_errors([&] { dump_quartz(eccs, path); });
             },
             py::arg("filepath"));
    c.method("dump_postcard", "(self, filepath: builtins.str) -> None", "Saves ECCs as postcard.",
             [](const ECCs &eccs, py::object filepath) {
                 std::string path = to_str(filepath, "filepath");
                 with_file_errors([&] { codec::dump_postcard(eccs, path); });
             },
             py::arg("filepath"));
    c.static_method("from_postcard", "(filepath: builtins.str) -> ECCs", "Loads ECCs from a postcard file.",
                    [](py::object filepath) {
                        std::string path = to_str(filepath, "filepath");
                        return with_file_errors([&] { return codec::eccs_from_postcard(path); });
                    },
                    py::arg("filepath"));
}

}  // namespace dravik::bind
