#include "datastruct/RefImageSet.h"

#include "datastruct/RefImage.h"

CRefImage* CRefImageSet::FindRefImage(int id) const { return m_refImages.FindByIDAs<CRefImage>(id); }
