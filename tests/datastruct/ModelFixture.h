#pragma once
// A model that holds every class of the data library and every list, each field set to a value that
// differs from its default, and a field-by-field comparison of two models.

#include "datastruct/ModelInfo.h"

#include <set>
#include <string>

/// Fills `model` (reset first): every list non-empty, every class present, every field non-default.
/// `variant` changes the texts and numbers, so two variants differ in every field.
void FillSampleModel(CModelInfo& model, int variant = 0);

/// Adds `count` inspection areas of `vertices` vertices each to the first phase of the first side.
void AddManyAreas(CModelInfo& model, int count, int vertices);

/// Compares the two models field by field (lists deeply, classes by their exact type); returns the type
/// names of the items it compared.
std::set<std::wstring> ExpectSameModel(const CModelInfo& expected, const CModelInfo& actual);
