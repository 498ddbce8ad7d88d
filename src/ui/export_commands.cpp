// The workstation's spreadsheet exports.
#include "export/export_texts.h"
#include "export/spreadsheet.h"
#include "ui/workstation.h"

namespace quorvel {

namespace {

TableInputs tableInputs(const Workstation& ws) {
  return TableInputs{ws.w.study, ws.curves.vc, ws.model.maps, ws.model.eye, &ws.segmental, currentIntervals(ws)};
}

// A cancelled dialog is no refusal to show.
Status shown(Workstation& ws, const Status& st) {
  if (!st && st.code() != RefusalCode::Cancelled) ws.show(st.refusal());
  return st;
}

// What a table holds is brought current first, or the export refused with the step to redo.
Status currentFor(Workstation& ws, std::initializer_list<Derived> results) {
  for (Derived d : results)
    if (Status s = bringCurrent(ws, d); !s) return s;
  return Status::accepted();
}

}  // namespace

Status Workstation::exportTableCommand() {
  if (Status s = currentFor(*this, {Derived::Curves}); !s) return shown(*this, s);
  return shown(*this, EXPORT_EXCEL_FILE(platform, w.options.LANGUE, tableInputs(*this)));
}

Status Workstation::exportSectorTableCommand() {
  if (Status s = currentFor(*this, {Derived::Model, Derived::Sectors}); !s) return shown(*this, s);
  const int L = w.options.LANGUE;
  Form form{export_texts::kSectorTableTitle.pick(L), {}, kPatientValidateCaption.pick(L),
            kPatientCancelCaption.pick(L)};
  const PatientFields known = patientFieldsOf(w.study);
  for (size_t i = 0; i < kPatientFields.size(); ++i) form.fields.push_back({kPatientFields[i].caption.pick(L), known[i]});
  const auto typed = platform.fillForm(form);
  if (!typed) return Refusal::of(RefusalCode::Cancelled, export_texts::kPatientCancelled);
  PatientFields fields;
  for (size_t i = 0; i < fields.size() && i < typed->size(); ++i) fields[i] = (*typed)[i];
  return shown(*this, UPDATE_DATABASE(platform, L, tableInputs(*this), fields));
}

}  // namespace quorvel
