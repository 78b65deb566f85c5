// AppAdmin's user methods: adding, editing, reading, listing and deleting application users,
// logging in and changing a password, each one stored procedure of the same name; and the two
// methods of the interface that do no work. No trace line shows a password in clear.
#include <string>

#include "platform/data/ado_constants.h"
#include "platform/xml/dom.h"
#include "reports/admin/admin_methods.h"
#include "reports/admin/method_support.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::admin {
namespace {

namespace data = platform::data;
namespace xml = platform::xml;

// The user record's columns, in the order the answers carry them.
constexpr const char* kUserColumns[] = {"AppUserID",       "AppUserName",     "AppUserFirstName",
                                        "AppUserLastName", "AppUserPassword", "AppRoleID",
                                        "AppRoleName"};

// Sets the user record of the current row on `element`. The password column is read (a NULL
// still fails the call) but only the mask is handed out.
void SetUserAttributes(xml::Element& element, const data::Recordset& row) {
  for (const char* column : kUserColumns) {
    std::string value = ColumnText(row[column]);
    if (std::string_view(column) == "AppUserPassword") value = kPasswordMask;
    element.SetAttribute(column, value);
  }
}

// "@name" with the root's attribute of the same name (NULL when absent).
void AppendAttribute(data::Command& command, const xml::Element& root, const char* attribute,
                     long type, long size) {
  AppendInput(command, (std::string("@") + attribute).c_str(), type, size,
              root.GetAttribute(attribute));
}

// The page's masked placeholder (any asterisk) or an absent value leaves the password as
// stored, which the procedure reads from NULL.
Variant EditedPassword(const Variant& attribute) {
  if (attribute.IsNull() || attribute.CStr().find('*') != std::string::npos) {
    return Variant::Null();
  }
  return attribute;
}

}  // namespace

std::int32_t AppUserAdd(Variant& sXml) {
  MethodFrame frame("AppAdmin.AppUserAdd");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AppUserAdd");
    AppendOutput(command, "@AppUserID", data::adInteger);
    xml::Document doc;
    doc.LoadXml(VariantText(sXml));
    xml::Element root = doc.DocumentElement();
    AppendAttribute(command, root, "AppUserName", data::adVarChar, 50);
    AppendAttribute(command, root, "AppUserFirstName", data::adVarChar, 50);
    AppendAttribute(command, root, "AppUserLastName", data::adVarChar, 50);
    AppendAttribute(command, root, "AppUserPassword", data::adVarChar, 20);
    AppendAttribute(command, root, "AppRoleID", data::adInteger, 4);
    call.Execute(command);
    root.SetAttribute("AppUserID", command.GetParameters().Item("@AppUserID").Value().CStr());
    call.Trace("sXml: " + MaskPasswords(HandBack(doc, sXml)));
  });
}

std::int32_t AppUserEdit(const std::string& sXml) {
  MethodFrame frame("AppAdmin.AppUserEdit");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AppUserEdit");
    xml::Document doc;
    doc.LoadXml(sXml);
    call.Trace(MaskPasswords(sXml));
    xml::Element root = doc.DocumentElement();
    AppendAttribute(command, root, "AppUserID", data::adInteger, 4);
    AppendAttribute(command, root, "AppUserFirstName", data::adVarChar, 50);
    AppendAttribute(command, root, "AppUserLastName", data::adVarChar, 50);
    AppendInput(command, "@AppUserPassword", data::adVarChar, 20,
                EditedPassword(root.GetAttribute("AppUserPassword")));
    AppendAttribute(command, root, "AppRoleID", data::adInteger, 4);
    call.Execute(command);
  });
}

std::int32_t AppUserInfoGet(const Variant& lngAppUserID, Variant& sXml) {
  MethodFrame frame("AppAdmin.AppUserInfoGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AppUserInfoGet");
    AppendInput(command, "@AppUserID", data::adInteger, 4, lngAppUserID);
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml("<UserInfo />");
    xml::Element root = doc.DocumentElement();
    for (; !rows.IsEOF(); rows.MoveNext()) SetUserAttributes(root, rows);
    call.Trace("sXml " + HandBack(doc, sXml));
  });
}

std::int32_t AppUserListGet(Variant& sXml) {
  MethodFrame frame("AppAdmin.AppUserListGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AppUserListGet");
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml("<USERLIST />");
    xml::Element root = doc.DocumentElement();
    for (; !rows.IsEOF(); rows.MoveNext()) {
      xml::Element user = root.AppendChild(doc.CreateElement("USER"));
      SetUserAttributes(user, rows);
    }
    call.Trace("sXml " + HandBack(doc, sXml));
  });
}

std::int32_t AppUserDelete(const Variant& lngAppUserID) {
  MethodFrame frame("AppAdmin.AppUserDelete");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AppUserDelete");
    AppendInput(command, "@AppUserID", data::adInteger, 4, lngAppUserID);
    call.Execute(command);
  });
}

std::int32_t AppUserLogIn(Variant& sXml) {
  MethodFrame frame("AppAdmin.AppUserLogIn");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AppUserLogIn");
    AppendOutput(command, "@AppUserID", data::adInteger);
    AppendOutput(command, "@AppRoleID", data::adInteger);
    xml::Document doc;
    doc.LoadXml(VariantText(sXml));
    xml::Element root = doc.DocumentElement();
    AppendAttribute(command, root, "AppUserName", data::adVarChar, 50);
    AppendAttribute(command, root, "AppUserPassword", data::adVarChar, 20);
    call.Execute(command);
    data::Parameters& parameters = command.GetParameters();
    root.SetAttribute("AppUserID", parameters.Item("@AppUserID").Value().CStr());
    root.SetAttribute("AppRoleID", parameters.Item("@AppRoleID").Value().CStr());
    call.Trace("sXml: " + MaskPasswords(HandBack(doc, sXml)));
  });
}

std::int32_t AppUserPasswordChange(const std::string& sXml) {
  MethodFrame frame("AppAdmin.AppUserPasswordChange");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AppUserPasswordChange");
    xml::Document doc;
    doc.LoadXml(sXml);
    call.Trace(MaskPasswords(sXml));
    xml::Element root = doc.DocumentElement();
    AppendAttribute(command, root, "AppUserID", data::adInteger, 4);
    // Passed as it is: an asterisk here is part of the new password.
    AppendAttribute(command, root, "AppUserPassword", data::adVarChar, 20);
    call.Execute(command);
  });
}

std::int32_t AppUserNavItemListGet(std::int32_t, Variant&) { return 0; }

std::int32_t AppUserPageAccessCheck(std::int32_t, const Variant&, Variant&) { return 0; }

}  // namespace tamsel::reports::admin
