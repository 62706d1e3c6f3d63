// The session class: one connection, one logged-in user, the connection flag and three
// staging tables for batch user administration.
#pragma once

#include <admin/staging_table.h>
#include <component/interfaces.h>
#include <mrlib/client.h>
#include <oa/dispatch.h>
#include <oa/unique.h>

#include <functional>
#include <string>
#include <string_view>

namespace quellar2mrapi {

// Sees every line that a method passes to WriteLog, whatever the log switch says.
// Only tests set it.
using log_observer = std::function<void(std::u16string_view line)>;
void set_log_observer(log_observer observer);

// The texts of one batch commit (admin/batch.cpp).
struct batch_commit;

class t2mrapp final : public oa::disp::dispatch_object<t2mrapp, _t2mrapp> {
public:
    static constexpr std::u16string_view class_name = u"quellar2mrapi.t2mrapp";
    static const oa::disp::interface_desc& description();
    static const oa::disp::library_desc* library();

    t2mrapp();
    ~t2mrapp() override;

    // Properties
    HRESULT STDMETHODCALLTYPE put_User(IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE get_User(IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE put_api(IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE get_api(IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE put_GoodConnection(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE get_GoodConnection(VARIANT_BOOL* value) override;

    // Connecting and logging in
    HRESULT STDMETHODCALLTYPE Connect(BSTR* host, BSTR* protocol, SHORT* port, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE Login(BSTR* name, BSTR* Password, BSTR* Role, BSTR* database, BSTR* loginAppID,
                                    BSTR* result) override;

    // Groups
    HRESULT STDMETHODCALLTYPE CreateAGroup(BSTR* groupname, VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE DeleteAGroup(BSTR* groupname, VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE AddUserToGroup(BSTR* username, BSTR* groupname, VARIANT_BOOL* result) override;

    // Staging tables
    HRESULT STDMETHODCALLTYPE AddUserToArray(SHORT* index, BSTR* username, BSTR* Password, BSTR* Role,
                                             BSTR* database, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE AddUserToNMXArray(SHORT* index, BSTR* username, BSTR* quellarUserName,
                                                BSTR* result) override;
    HRESULT STDMETHODCALLTYPE AddUserToRoleArray(SHORT* index, BSTR* username, BSTR* roleList, BSTR* database,
                                                 BSTR* result) override;

    // Batch commits and preferences
    HRESULT STDMETHODCALLTYPE CreateUsers(SHORT* numberOfUsers, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE SetMerivexUsernames(SHORT* numberOfUsers, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE AddUserRoles(SHORT* numberOfUsers, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE AddUserPreference(VARIANT* mrUserName, VARIANT* pref, BSTR* value,
                                                VARIANT_BOOL* all_dbs, BSTR* result) override;

    // Change-request data
    HRESULT STDMETHODCALLTYPE GetNewAttrs(BSTR* object_name, BSTR* instance, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE GetDynamicAttrs(BSTR* cvid, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE VANT_GetHostname(BSTR* result) override;
    HRESULT STDMETHODCALLTYPE setDynamicAttrs(BSTR* rcpId, BSTR* values, VARIANT* result) override;
    HRESULT STDMETHODCALLTYPE createRCObject(BSTR* rcpId, BSTR* relation, BSTR* values, BSTR* filename,
                                             VARIANT* result) override;
    HRESULT STDMETHODCALLTYPE encodeXML(BSTR* toEncode, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE VANT_SetCRattributeByFile(BSTR* crid, BSTR* atrName, BSTR* atrFile, BSTR* atr1Name,
                                                        BSTR* atr1File, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE VANT_SetCRattribute(BSTR* crid, BSTR* atrName, BSTR* atrValue, BSTR* atr1Name,
                                                  BSTR* atr1Value, BSTR* result) override;
    HRESULT STDMETHODCALLTYPE CreateRelation(LONG* BothWayRelationship, BSTR* fromID, BSTR* toID,
                                             BSTR* relationName, BSTR* relationType, BSTR* result) override;

    // Read-only views for tests and for the methods of this class.
    const staging_table& user_table() const noexcept { return UserTable; }
    const staging_table& name_map_table() const noexcept { return NameMapTable; }
    const staging_table& role_table() const noexcept { return RoleTable; }

private:
    // Passes one line to the diagnostic log; never fails.
    void WriteLog(std::u16string_view text) noexcept;
    // A line of two pieces, joined only when the line is read or written.
    void WriteLog(std::u16string_view first, std::u16string_view second) noexcept;

    // The staging methods share one procedure: growth, a new row object, its fill, the
    // store. Gives the empty text or the method's error text.
    template <class Fill>
    oa::unique_bstr stage_row(std::u16string_view method_name, staging_table& table, SHORT index, Fill&& fill);
    // The batch commits share one procedure over their tables: send hands the table to
    // the library and gives its message; then runs after the message is logged.
    template <class Send, class Then>
    oa::unique_bstr commit_table(const batch_commit& batch, staging_table& table, SHORT* numberOfUsers, Send&& send,
                                 Then&& then);

    // Texts as byte buffers for the library (UTF-16LE, no terminator).
    static void StringToByteArray(std::u16string_view text, oa::unique_safearray& buffer, LONG& count);
    struct xml_buffer;
    static xml_buffer to_xml_buffer(std::u16string_view values);
    // A whole text file as a String; a failure keeps its number and description.
    static std::u16string ReadTextFile(std::u16string_view path);

    // A new User object for a staging row, made by the User class, whose class object the
    // session holds from its first row on: a table of many rows asks the runtime once.
    oa::com_ptr<IDispatch> new_user_row();
    // Fills a staging row through the library's User operations, named once per session.
    void fill_row(IDispatch* row, mrlib::op operation, std::initializer_list<VARIANT> args);

    // The connection: the library's api object with the ids of its names, looked up once
    // per connection.
    mrlib::remote api;
    oa::com_ptr<IDispatch> User;
    VARIANT_BOOL GoodConnection = VARIANT_FALSE;
    staging_table UserTable;
    staging_table NameMapTable;
    staging_table RoleTable;
    bool DebugOn = false;
    oa::com_ptr<IClassFactory> user_class;
    mrlib::names user_row_names;
};

// The component's type library, from the same descriptions as the dispatcher.
HRESULT get_type_library(ITypeLib** out) noexcept;

}  // namespace quellar2mrapi
