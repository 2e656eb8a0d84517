#pragma once
// Tree transformations: the restructuring of entries that a COPY statement
// inside an entry brought in.

#include "frontend/syntax_tree.h"

// Restructures a section's entry list (in source order) in place and returns
// it: a format_copy entry followed by a format_1 receives, as its
// data_description_entry_l, that format_1 and every following entry from the
// same source file (the file of the format_1's name), closed by a new
// nodata_description_entry; its `next` becomes the first entry after them.
// A node in the list that is no entry is a routine failure of
// "trafo_data_desc", a node that is neither entry nor end node after copied
// entries one of "get_end_of_copy": code 70 ("routine failed", Fatal, with
// "Trafo.<routine>") is reported, which ends the run with FatalError.
tTree trafo_data_desc(tTree list);
