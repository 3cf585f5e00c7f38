// The robots' queue as the operator sees it: a table of the status page and
// the lines of /metrics.
#pragma once
#include <string>
#include <vector>

#include "central/store/store.h"

// "<h2>...</h2><table>...</table>": per target the waiting messages, those
// delivered in 24 hours, those given up and the last error of a failing one.
// Empty when no target has ever had a message.
std::string WebhookQueueHtml(const std::vector<OutboxTargetState>& states);

// Prometheus lines of the same figures, labelled by target.
std::string WebhookMetrics(const std::vector<OutboxTargetState>& states);
