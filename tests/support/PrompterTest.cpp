#include "support/Prompter.h"
#include "support/RecordingPrompter.h"

#include <gtest/gtest.h>

FileDialogRequest TitledRequest(const std::wstring& title) {
    FileDialogRequest r;
    r.title = title;
    return r;
}

TEST(Prompter, RecordingPrompterRecordsTextsAndReturnsQueuedAnswers) {
    CRecordingPrompter recorder;
    ScopedPrompter scope(&recorder);
    recorder.m_answers = {IDNO};
    EXPECT_EQ(ZrkMessageBox(L"保存吗?", L"提示", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(ZrkMessageBox(L"第二次", L"", MB_YESNO), IDYES); // queue empty: the default
    EXPECT_EQ(ZrkMessageBox(L"ok"), IDOK);
    EXPECT_EQ(recorder.Texts(), (std::vector<std::wstring>{L"保存吗?", L"第二次", L"ok"}));
    EXPECT_EQ(recorder.m_messages[0].caption, L"提示");
    EXPECT_EQ(recorder.m_messages[0].type, MB_YESNO | MB_ICONQUESTION);

    std::wstring path;
    EXPECT_FALSE(GetPrompter().GetSaveFileName({}, path));
    recorder.m_savePaths = {L"/tmp/a.ini"};
    EXPECT_TRUE(GetPrompter().GetSaveFileName(TitledRequest(L"title"), path));
    EXPECT_EQ(path, L"/tmp/a.ini");
    EXPECT_EQ(recorder.m_fileRequests.back().title, L"title");

    COLORREF c = 0;
    recorder.m_colors = {RGB(1, 2, 3)};
    EXPECT_TRUE(GetPrompter().ChooseColor(0, c));
    EXPECT_EQ(c, 0x030201u);
    EXPECT_FALSE(GetPrompter().ChooseColor(0, c));
}

TEST(Prompter, ScopeRestoresThePreviousPrompter) {
    CRecordingPrompter outer, inner;
    ScopedPrompter a(&outer);
    {
        ScopedPrompter b(&inner);
        ZrkMessageBox(L"inner");
    }
    ZrkMessageBox(L"outer");
    EXPECT_EQ(inner.Texts().size(), 1u);
    EXPECT_EQ(outer.Texts(), (std::vector<std::wstring>{L"outer"}));
}

TEST(Prompter, FallbackDeclines) {
    EXPECT_EQ(ZrkMessageBox(L"delete everything?", L"", MB_YESNO), IDNO);
    EXPECT_EQ(ZrkMessageBox(L"note", L"", MB_OK), IDOK);
    EXPECT_EQ(ZrkMessageBox(L"save?", L"", MB_YESNOCANCEL), IDCANCEL);
}
