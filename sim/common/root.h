// The simulated file-system root of one controller: a temporary directory
// holding proc/cpuinfo, usr/local/etc/ostrel/, dev/ and the stand-ins of the
// controller's outside programs in bin/.
#pragma once

#include "../model/board.h"

#include <string>
#include <string_view>

namespace pacsim {

class SimRoot {
  public:
    explicit SimRoot(const Board &board);
    ~SimRoot();
    SimRoot(const SimRoot &) = delete;
    SimRoot &operator=(const SimRoot &) = delete;

    const std::string &path() const { return path_; }

    // Writes or removes a file below the root ("usr/local/etc/ostrel/5000-PAC").
    void write_file(std::string_view relative, std::string_view content) const;
    void remove_file(std::string_view relative) const;
    bool exists(std::string_view relative) const;

    // Rewrites proc/cpuinfo, the PCI list and the series marker from the board.
    void write_board(const Board &board) const;

    // Creates (5000) or removes (4000) the marker file of the 5000 series.
    void set_series(int series) const;

    static constexpr const char *series_marker = "usr/local/etc/ostrel/5000-PAC";

  private:
    std::string path_;
};

} // namespace pacsim
