#include "editor/StoreFailureText.h"

#include "formats/LanguagePack.h"

std::wstring StoreFailureReason(StoreFailure failure) {
    switch (failure) {
    case StoreFailure::None: return std::wstring();
    case StoreFailure::Busy:
        return Translate(L"模板库正被其他程序或工位占用, 请稍后再保存。", 0);
    case StoreFailure::DiskFull:
        return Translate(L"磁盘已满, 请腾出磁盘空间后再保存。", 0);
    case StoreFailure::ReadOnly:
        return Translate(L"模板库文件或其文件夹只读, 不能写入。", 0);
    case StoreFailure::Damaged:
        return Translate(L"模板库文件已损坏。", 0);
    case StoreFailure::IoError:
        return Translate(L"读写磁盘时出错。", 0);
    case StoreFailure::Unreachable:
        return Translate(L"模板库服务器无法连接或连接已断开, 修改仍保留在编辑器中, 请在服务器恢复后再保存。", 0);
    case StoreFailure::Refused:
        return Translate(L"模板库服务器拒绝了用户名或密码, 或服务器的证书没有通过验证。", 0);
    case StoreFailure::NotPermitted:
        return Translate(L"本工位在模板库服务器上的数据库角色没有这项权限: 操作员角色可以打开模板和写修改记录, "
                         L"不能保存、新建、复制或删除模板。需要时请模板库的管理员给本工位的登录名授予工程师角色 "
                         L"(zrk_engineer), 或请工程师的工位保存。",
                         0);
    case StoreFailure::Conflict:
        return Translate(L"该模板在打开之后已被其他工位修改或删除, 没有覆盖对方的修改。", 0);
    case StoreFailure::Other: break;
    }
    return std::wstring();
}

std::wstring StoreFailureMessage(const std::wstring& headline, StoreFailure failure, const std::wstring& detail) {
    // A failure that is no condition of the store (a model it cannot hold) keeps the headline alone.
    const std::wstring reason = StoreFailureReason(failure);
    if (reason.empty())
        return headline;
    std::wstring text = headline + L"\n" + reason;
    if (!detail.empty())
        text += L"\n" + detail;
    return text;
}
