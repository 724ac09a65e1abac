// A sample plug-in: "CreatePlugInsInstance" returns its object, which the editor keeps and does not use.

#include <string>

namespace {
struct SamplePlugIn {
    std::wstring m_strName = L"SamplePlugIn";
    int m_nVersion = 1;
};
} // namespace

extern "C" void* CreatePlugInsInstance() {
    static SamplePlugIn plugIn;  // one object per loaded library; the editor never deletes plug-ins
    return &plugIn;
}
