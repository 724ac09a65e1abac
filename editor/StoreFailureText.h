#pragma once
/// The translated sentence that tells the operator why the template store refused a write or a read, and
/// what to do; the store's own text (paths, the database's words) follows it on a line of its own.

#include "datastruct/TemplateStore.h"

#include <string>

/// The translated reason for the kind; empty for `None` and `Other`.
std::wstring StoreFailureReason(StoreFailure failure);
/// `headline` (translated by the caller); when the kind has a reason, the reason on the next line and then
/// `detail` when it is not empty.
std::wstring StoreFailureMessage(const std::wstring& headline, StoreFailure failure, const std::wstring& detail);
