// Creating the folders a path needs.
#ifndef WINSUP_PATH_LEVELS_H
#define WINSUP_PATH_LEVELS_H

namespace winsup {

// Creates the folders of `path` up to its last '\' (the file's own folder),
// each level in turn; levels that exist or cannot be made are passed over
// (the caller finds out when it opens the file). The first level (a drive's
// root, or the first folder of a relative path) is never created: a path
// that starts in a folder that does not exist is a mistake to report, not
// a folder to make.
void create_parent_levels(const char* path);

}  // namespace winsup

#endif  // WINSUP_PATH_LEVELS_H
