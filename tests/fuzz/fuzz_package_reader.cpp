// libFuzzer target: mutated setup packages through ReadPackageHeader and
// InstallPackage into a scratch program folder. Nothing may be written
// outside that folder (the extraction's temporary folder goes below a
// scratch TMPDIR and may leave no file), links must stay inside it,
// and every failure must carry an error code and a failure event.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "install/package.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

void Fail(const char* what, const std::string& detail = "") {
    fprintf(stderr, "fuzz_package_reader: %s %s\n", what, detail.c_str());
    abort();
}

struct Scratch {
    fs::path root, package, program, temp;
};

const Scratch& Folders() {
    static const Scratch s = [] {
        Scratch f;
        f.root = fs::temp_directory_path() / ("korvel-fuzz-pkg-" + std::to_string(getpid()));
        f.package = f.root / "setup.exe";
        f.program = f.root / "program";
        f.temp = f.root / "tmp";
        fs::create_directories(f.temp);
        setenv("TMPDIR", f.temp.c_str(), 1);
        return f;
    }();
    return s;
}

bool Inside(const fs::path& p, const fs::path& folder) {
    const std::string a = p.lexically_normal().string();
    const std::string b = folder.lexically_normal().string() + "/";
    return a.compare(0, b.size(), b) == 0;
}

// Only the package, the program folder and the (empty) temporary folder.
void CheckNothingOutside(const Scratch& s) {
    for (const auto& e : fs::directory_iterator(s.root)) {
        if (e.path() != s.package && e.path() != s.program && e.path() != s.temp)
            Fail("written outside the program folder:", e.path().string());
    }
    // A failed extraction leaves its empty tick-named folder; no file may stay.
    for (const auto& e : fs::recursive_directory_iterator(s.temp)) {
        if (!e.is_directory())
            Fail("temporary file left behind:", e.path().string());
    }
    for (const auto& e : fs::directory_iterator(s.temp))
        fs::remove_all(e.path());
    if (!fs::exists(s.program))
        return;
    for (const auto& e : fs::recursive_directory_iterator(s.program)) {
        if (!e.is_symlink())
            continue;
        const fs::path target = fs::read_symlink(e.path());
        if (target.is_absolute() ? !Inside(target, s.program)
                                 : !Inside(e.path().parent_path() / target, s.program))
            Fail("link leads out of the program folder:", e.path().string());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Scratch& s = Folders();
    std::error_code ec;
    fs::remove_all(s.program, ec);
    {
        std::ofstream out(s.package, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::wstring package = Utf8ToWide(s.package.string());
    PackageHeader header;
    const bool headerRead = ReadPackageHeader(package.c_str(), header) == 0;
    int failures = 0, finishes = 0;
    const InstallCallback callback = [&](int event, int, int) {
        failures += event == kInstallFailed;
        finishes += event == kInstallFinished;
        return 0;
    };
    const std::wstring program = Utf8ToWide(s.program.string());
    const HRESULT hr =
        InstallPackage(package.c_str(), callback, program.c_str(), InstallOptions::kSetup);
    if (hr == 0) {
        if (!headerRead)
            Fail("installed a package whose header could not be read");
        if (finishes != 1 || failures != 0)
            Fail("success without exactly one finish event");
        if (!fs::exists(s.program / "uninstall.exe"))
            Fail("success without the uninstaller");
    } else {
        if (GetLastInstallError() == 0)
            Fail("failure without an error code");
        if (failures != 1 || finishes != 0)
            Fail("failure without exactly one failure event");
    }
    CheckNothingOutside(s);
    return 0;
}
