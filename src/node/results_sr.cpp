#include "node/results_sr.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmsr/dsrdoc.h>

#include <cstdio>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "unknown"
#endif

namespace quorvel::node {

namespace {

using Tree = DSRDocumentTree;

DSRCodedEntryValue local(const char* code, const char* meaning) {
  return DSRCodedEntryValue(code, kLocalCodingScheme, meaning);
}

std::string decimal(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

// Adds a child or sibling item of this type and conceptName; false when the tree refused it.
bool addItem(Tree& tree, DSRTypes::E_RelationshipType relation, DSRTypes::E_ValueType type,
             const DSRCodedEntryValue& conceptName, DSRTypes::E_AddMode mode) {
  if (tree.addContentItem(relation, type, mode) == 0) return false;
  return tree.getCurrentContentItem().setConceptName(conceptName).good();
}

bool addText(Tree& tree, const DSRCodedEntryValue& conceptName, const std::string& text, DSRTypes::E_AddMode mode) {
  return addItem(tree, DSRTypes::RT_contains, DSRTypes::VT_Text, conceptName, mode) &&
         tree.getCurrentContentItem().setStringValue(text.c_str(), OFFalse).good();
}

// One ventricle's container with its measurements; the tree's cursor ends on the container.
bool addVentricle(Tree& tree, const SrContent& c, char prefix, const DSRCodedEntryValue& conceptName) {
  if (!addItem(tree, DSRTypes::RT_contains, DSRTypes::VT_Container, conceptName, DSRTypes::AM_afterCurrent))
    return false;
  DSRTypes::E_AddMode mode = DSRTypes::AM_belowCurrent;
  for (const ResultCode& r : resultCodes()) {
    if (r.name[0] != prefix) continue;
    const auto v = c.results.find(r.name);
    if (v == c.results.end()) continue;
    if (!addItem(tree, DSRTypes::RT_contains, DSRTypes::VT_Num, DSRCodedEntryValue(r.code, r.scheme, r.meaning), mode))
      return false;
    const DSRNumericMeasurementValue value(decimal(v->second).c_str(),
                                           DSRCodedEntryValue(r.unit, "UCUM", r.unitMeaning));
    if (tree.getCurrentContentItem().setNumericValue(value).good() == OFFalse) return false;
    mode = DSRTypes::AM_afterCurrent;
  }
  if (mode == DSRTypes::AM_afterCurrent) tree.goUp();
  return true;
}

}  // namespace

const std::vector<ResultCode>& resultCodes() {
  // LOINC has a code for the left ventricle's ejection fraction; the other results have ours.
  static const std::vector<ResultCode> codes = {
      {"G_FES", "10230-1", "LN", "Left ventricular Ejection fraction", "%", "percent"},
      {"G_volmax", "QRV-LV-EDV", kLocalCodingScheme, "Left ventricular end-diastolic volume", "ml", "milliliter"},
      {"G_volmin", "QRV-LV-ESV", kLocalCodingScheme, "Left ventricular end-systolic volume", "ml", "milliliter"},
      {"G_VES", "QRV-LV-SV", kLocalCodingScheme, "Left ventricular stroke volume", "ml", "milliliter"},
      {"G_debit", "QRV-LV-CO", kLocalCodingScheme, "Left ventricular output", "l/min", "liter per minute"},
      {"G_PER", "QRV-LV-PER", kLocalCodingScheme, "Left ventricular peak ejection rate", "{EDV}/s",
       "end-diastolic volumes per second"},
      {"G_TPER", "QRV-LV-TPER", kLocalCodingScheme, "Left ventricular time to peak ejection rate", "ms", "millisecond"},
      {"G_PFR", "QRV-LV-PFR", kLocalCodingScheme, "Left ventricular peak filling rate", "{EDV}/s",
       "end-diastolic volumes per second"},
      {"G_TPFR", "QRV-LV-TPFR", kLocalCodingScheme, "Left ventricular time to peak filling rate", "ms", "millisecond"},
      {"G_TFS", "QRV-LV-TES", kLocalCodingScheme, "Left ventricular time to end systole", "ms", "millisecond"},
      {"D_FES", "QRV-RV-EF", kLocalCodingScheme, "Right ventricular ejection fraction", "%", "percent"},
      {"D_volmax", "QRV-RV-EDV", kLocalCodingScheme, "Right ventricular end-diastolic volume", "ml", "milliliter"},
      {"D_volmin", "QRV-RV-ESV", kLocalCodingScheme, "Right ventricular end-systolic volume", "ml", "milliliter"},
      {"D_VES", "QRV-RV-SV", kLocalCodingScheme, "Right ventricular stroke volume", "ml", "milliliter"},
      {"D_debit", "QRV-RV-CO", kLocalCodingScheme, "Right ventricular output", "l/min", "liter per minute"},
      {"D_PER", "QRV-RV-PER", kLocalCodingScheme, "Right ventricular peak ejection rate", "{EDV}/s",
       "end-diastolic volumes per second"},
      {"D_TPER", "QRV-RV-TPER", kLocalCodingScheme, "Right ventricular time to peak ejection rate", "ms",
       "millisecond"},
      {"D_PFR", "QRV-RV-PFR", kLocalCodingScheme, "Right ventricular peak filling rate", "{EDV}/s",
       "end-diastolic volumes per second"},
      {"D_TPFR", "QRV-RV-TPFR", kLocalCodingScheme, "Right ventricular time to peak filling rate", "ms", "millisecond"},
      {"D_TFS", "QRV-RV-TES", kLocalCodingScheme, "Right ventricular time to end systole", "ms", "millisecond"},
      {"CARD_FREQ", "QRV-HR", kLocalCodingScheme, "Heart rate", "/min", "per minute"},
  };
  return codes;
}

std::string writeResultsSr(const SrContent& c, const std::filesystem::path& file) {
  const ImageHeader& im = c.image;
  if (im.studyUid.empty() || im.sopInstanceUid.empty()) return "the analysed image has no study or instance UID";
  DSRDocument doc(DSRTypes::DT_ComprehensiveSR);
  doc.setSpecificCharacterSetType(DSRTypes::CS_UTF8);  // names and texts may hold accented letters
  // Values read from the image may not meet the report's own checks: copied as they are.
  doc.setPatientName(im.patientName.c_str(), OFFalse);
  doc.setPatientID(im.patientId.c_str(), OFFalse);
  doc.setPatientBirthDate(im.birthDate.c_str(), OFFalse);
  doc.setPatientSex(im.sex.c_str(), OFFalse);
  doc.setStudyDate(im.studyDate.c_str(), OFFalse);
  doc.setStudyTime(im.studyTime.c_str(), OFFalse);
  doc.setStudyID(im.studyId.c_str(), OFFalse);
  doc.setAccessionNumber(im.accession.c_str(), OFFalse);
  doc.setReferringPhysicianName(im.referringPhysician.c_str(), OFFalse);
  if (doc.createNewSeriesInStudy(im.studyUid.c_str()).bad()) return "the study UID is refused";
  doc.setSeriesDescription("Quorvel results");
  doc.setManufacturer("Quorvel");
  doc.setSoftwareVersions(QUORVEL_VERSION);
  // Our own codes are named in the report, so that a reader knows whose they are.
  DSRCodingSchemeIdentificationList& schemes = doc.getCodingSchemeIdentification();
  if (schemes.addItem(kLocalCodingScheme).good()) {
    schemes.setCodingSchemeName("Quorvel results");
    schemes.setCodingSchemeResponsibleOrganization("Quorvel");
  }
  doc.setSeriesNumber("9901");
  doc.setInstanceNumber("1");
  doc.getCurrentRequestedProcedureEvidence().addItem(im.studyUid.c_str(), im.seriesUid.c_str(), im.sopClassUid.c_str(),
                                                     im.sopInstanceUid.c_str());

  Tree& tree = doc.getTree();
  bool ok = addItem(tree, DSRTypes::RT_isRoot, DSRTypes::VT_Container,
                    DSRCodedEntryValue("18748-4", "LN", "Diagnostic imaging report"), DSRTypes::AM_afterCurrent);
  ok = ok &&
       addItem(tree, DSRTypes::RT_contains, DSRTypes::VT_Image,
               local("QRV-SOURCE", "Analysed gated blood-pool tomography"), DSRTypes::AM_belowCurrent) &&
       tree.getCurrentContentItem()
           .setImageReference(DSRImageReferenceValue(im.sopClassUid.c_str(), im.sopInstanceUid.c_str()), OFFalse)
           .good();
  ok = ok && addVentricle(tree, c, 'G', local("QRV-LV", "Left ventricle"));
  ok = ok && addVentricle(tree, c, 'D', local("QRV-RV", "Right ventricle"));
  if (ok) {
    if (const auto hr = c.results.find("CARD_FREQ"); hr != c.results.end()) {
      ok = addItem(tree, DSRTypes::RT_contains, DSRTypes::VT_Num, local("QRV-HR", "Heart rate"),
                   DSRTypes::AM_afterCurrent) &&
           tree.getCurrentContentItem()
               .setNumericValue(DSRNumericMeasurementValue(decimal(hr->second).c_str(),
                                                           DSRCodedEntryValue("/min", "UCUM", "per minute")))
               .good();
    }
  }
  ok = ok && addText(tree, local("QRV-METHOD", "Method"), c.method, DSRTypes::AM_afterCurrent);
  ok = ok && addText(tree, local("QRV-SOFTWARE", "Software"), std::string("Quorvel ") + QUORVEL_VERSION,
                     DSRTypes::AM_afterCurrent);
  for (const std::string& w : c.warnings)
    ok = ok && addText(tree, local("QRV-WARNING", "Warning"), w, DSRTypes::AM_afterCurrent);
  if (!ok) return "the report's content is refused";
  DcmFileFormat out;
  if (const OFCondition st = doc.write(*out.getDataset()); st.bad())
    return std::string("cannot build the report: ") + st.text();
  if (const OFCondition st = out.saveFile(file.c_str(), EXS_LittleEndianExplicit); st.bad())
    return std::string("cannot write the report: ") + st.text();
  return {};
}

}  // namespace quorvel::node
