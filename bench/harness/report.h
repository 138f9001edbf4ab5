// The benchmark's findings as Markdown: the timing table with its ratios and targets, and the
// footprint.
#pragma once

#include <string>

#include "image_facts.h"
#include "measurements.h"

namespace quillmark::bench {

struct Findings {
  Plan plan;
  double mean_poll_gap_ms = 0;
  long long surrogates_ended = 0;
  StartupFigures startup;
  LookupFigures lookup;
  JobFigures job;
  ImageFacts image;
  Bench::Soaks soak;
};

// Minimum and median of a series.
struct Summary {
  double min = 0;
  double median = 0;
};
Summary Summarise(Samples samples);

std::string FindingsMarkdown(const Findings& findings);

}  // namespace quillmark::bench
