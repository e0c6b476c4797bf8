#pragma once
// The plot's six lists as comma-separated values (UTF-8, a header line): one row per
// sample from the oldest to the newest, with its index, its receive time and the
// plot value of every channel, whatever the plot shows.

#include "plot/CaptureSamples.h"
#include "plot/PlotSamples.h"

#include <string>

inline constexpr const char* kPlotCsvHeader =
    "index,time_ms_since_first_sample,position,load,speed,target,fast_slow,current";

// Lists of unequal length line up at their newest sample; a channel without a sample at a
// row leaves its field empty.
std::string PlotCsv(const PlotLists& lists);

// Writes the CSV to `path` (UTF-8); false with the reason in `error`.
bool SavePlotCsv(const std::string& path, const PlotLists& lists, std::string& error);

// A capture's samples in the same columns, times in ms with three decimals.
std::string CaptureCsv(const std::vector<CaptureRow>& rows);
bool SaveCaptureCsv(const std::string& path, const std::vector<CaptureRow>& rows, std::string& error);
