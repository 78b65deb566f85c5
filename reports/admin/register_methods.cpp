// Installs the administration methods into their slots of the AppAdmin and Reports classes.
#include "reports/admin/admin_methods.h"

namespace tamsel::reports::admin {

void RegisterMethods(MethodRegistry& registry) {
  registry.Add<&AppUserAdd>("AppAdmin.AppUserAdd");
  registry.Add<&AppUserEdit>("AppAdmin.AppUserEdit");
  registry.Add<&AppUserInfoGet>("AppAdmin.AppUserInfoGet");
  registry.Add<&AppUserListGet>("AppAdmin.AppUserListGet");
  registry.Add<&AppUserDelete>("AppAdmin.AppUserDelete");
  registry.Add<&AppUserLogIn>("AppAdmin.AppUserLogIn");
  registry.Add<&AppUserPasswordChange>("AppAdmin.AppUserPasswordChange");
  registry.Add<&AppUserNavItemListGet>("AppAdmin.AppUserNavItemListGet");
  registry.Add<&AppUserPageAccessCheck>("AppAdmin.AppUserPageAccessCheck");

  registry.Add<&ServerListGet>("Reports.ServerListGet");
  registry.Add<&ServerAdd>("Reports.ServerAdd");
  registry.Add<&ServerDisable>("Reports.ServerDisable");
  registry.Add<&ServerDelete>("Reports.ServerDelete");
  registry.Add<&LogEntryTop1000Delete>("Reports.LogEntryTop1000Delete");
  registry.Add<&LogEntriesClear>("Reports.LogEntriesClear");

  registry.Add<&EventExclusionGridXmlGet>("Reports.EventExclusionGridXmlGet");
  registry.Add<&ExclusionListSubmit>("Reports.ExclusionListSubmit");
}

}  // namespace tamsel::reports::admin
