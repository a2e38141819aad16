// satcli's coupon archive: the coupon of each sale and cancellation is kept
// in $XDG_DATA_HOME/kovrad/cfe.db (or the file --arquivo names), and
// "satcli arquivo" finds, prints and verifies what is kept there.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kovrad::cli {

// $XDG_DATA_HOME/kovrad/cfe.db, or ~/.local/share/kovrad/cfe.db; empty when
// neither XDG_DATA_HOME nor HOME is set.
std::string DefaultArchivePath();

enum class Kept {
  kYes,         // kept now or before, or the reply carries no coupon
  kNotACoupon,  // the reply's document is no CF-e the archive can index
  kNo,          // not kept: the archive failed, or holds another coupon under its key
};

// Keeps the coupon that `reply` (a sale or cancellation reply line) carries
// in the archive at `path`, made with its folder when missing; `problem`
// says why not.
Kept ArchiveReply(const std::string& path, std::string_view reply, std::string* problem);

// "satcli arquivo procurar|xml|verificar ...": `args` after "arquivo".
int RunArchive(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kovrad::cli
