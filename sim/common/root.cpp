#include "root.h"

#include "paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace pacsim {
namespace {

std::string make_temp_dir()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/pacsim-XXXXXX";
    if (!::mkdtemp(templ.data()))
        throw std::runtime_error("cannot create the simulated root in " + templ);
    return templ;
}

} // namespace

SimRoot::SimRoot(const Board &board) : path_(make_temp_dir())
{
    for (const char *dir : {"proc", "usr/local/etc/ostrel", "dev", "bin", "pacsim"})
        fs::create_directories(fs::path(path_) / dir);
    write_file("proc/uptime", "3600.25 7100.50\n");
    // lspci stand-in: prints the scenario's PCI list (numeric form).
    const std::string lspci = "#!/bin/sh\ncat " + shell_quote(path_ + "/pacsim/lspci.txt") + "\n";
    write_file("bin/lspci", lspci);
    ::chmod((path_ + "/bin/lspci").c_str(), 0755);
    write_board(board);
}

SimRoot::~SimRoot()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void SimRoot::write_file(std::string_view relative, std::string_view content) const
{
    const fs::path p = fs::path(path_) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void SimRoot::remove_file(std::string_view relative) const
{
    std::error_code ec;
    fs::remove(fs::path(path_) / relative, ec);
}

bool SimRoot::exists(std::string_view relative) const
{
    return fs::exists(fs::path(path_) / relative);
}

void SimRoot::write_board(const Board &board) const
{
    write_file("proc/cpuinfo", board.cpuinfo);
    std::string pci;
    for (const std::string &line : board.pci)
        pci += line + "\n";
    write_file("pacsim/lspci.txt", pci);
    set_series(board.series);
}

void SimRoot::set_series(int series) const
{
    if (series == 5000)
        write_file(series_marker, "");
    else
        remove_file(series_marker);
}

} // namespace pacsim
