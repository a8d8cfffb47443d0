#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench/common/machine_load.h"
#include "bench/common/process_figures.h"
#include "bench/common/spread.h"

namespace brivane::bench {

// One run: a private broker, BrivaneSvc reading a pseudo-terminal that carries the
// three devices' pages at the line rate, subscribers on the broker, and the gateway
// between them with one settings file and interval.
struct RunPlan {
  std::string label;
  int interval = 0;
  int subscribers = 1;
  double seconds = 60;           // measured, after the warm-up
  double warmUp = 3;             // at least, and until every device's state has arrived
  std::string settingsTemplate;  // the settings file's text (see settings_template.h)
  std::string gatewayProgram;
  // A shell command started once the gateway is up (it should exec its program), with
  // BENCH_FOLDER and BENCH_PORT_<name> for each @PORT:name@ in its environment; empty
  // for none.
  std::string companion;
};

struct RunResult {
  RunPlan plan;
  std::string settings;  // as the gateway read it
  std::map<std::string, int> ports;
  LoadAverage loadBefore;
  LoadAverage loadAfter;
  double machineBusy = 0;  // share of both CPUs busy with anything during the window
  int cpus = 0;
  double seconds = 0;  // the window as measured
  std::uint64_t pagesSent = 0;
  std::map<std::string, std::uint64_t> statesPerDevice;  // as the probe received them
  std::uint64_t statesUnmatched = 0;  // states whose raw page was not one of ours
  Spread latencyMs;                   // last byte of a page on the line to its state at the probe
  // Pages sent in the window but for its last 2 s; those of them the service never
  // handed on (it empties a receive buffer of 1024 characters or more, which a tick
  // late by some 30 ms holds at the line rate); and those it handed on whose state
  // never came, which with interval 0 should be none.
  std::uint64_t pagesSettled = 0;
  std::uint64_t pagesDroppedByService = 0;
  std::uint64_t pagesWithoutState = 0;
  std::vector<std::uint64_t> firstPagesWithoutState;  // their numbers, at most 20
  std::vector<std::uint64_t> receivedPerSubscriber;
  int subscribersClosed = 0;
  ProcessCost gateway;
  ProcessCost service;
  ProcessCost broker;
  double benchCpuSeconds = 0;  // this program: subscribers and line
  int gatewayExit = -1;        // after SIGTERM at the end
  std::vector<std::string> gatewayLog;
};

// Throws std::runtime_error when a part does not come up.
RunResult Run(const RunPlan& plan);

}  // namespace brivane::bench
