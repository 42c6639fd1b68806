#include "tests/standin/TableSupport.h"

#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <stdexcept>

namespace vantero::standin::test {

namespace fs = std::filesystem;

namespace {

// GDAL's first complaint goes into the string the handler was pushed with, not onto the output.
void recordError(CPLErr level, CPLErrorNum, const char* message) {
    auto* first = static_cast<std::string*>(CPLGetErrorHandlerUserData());
    if (level >= CE_Failure && first->empty())
        *first = message ? message : "error";
}

void registerDrivers() {
    [[maybe_unused]] static const bool registered = (GDALAllRegister(), true);
}

} // namespace

std::string copyTable(const std::string& fromFolder, const std::string& table,
                      const std::string& toFolder) {
    std::string tab;
    for (const auto& entry : fs::directory_iterator(fromFolder)) {
        const fs::path name = entry.path().filename();
        if (name.stem().string() != table)
            continue;
        const fs::path target = fs::path(toFolder) / name;
        fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add);
        if (name.extension() == ".tab" || name.extension() == ".TAB")
            tab = target.string();
    }
    if (tab.empty())
        throw std::runtime_error("no table " + table + " in " + fromFolder);
    return tab;
}

Snapshot takeSnapshot(const std::string& folder) {
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files[fs::relative(entry.path(), folder).string()] =
            entry.is_regular_file() ? readFile(entry.path().string()) : std::string("<folder>");
    return files;
}

std::string snapshotDifferences(const Snapshot& a, const Snapshot& b) {
    std::string out;
    for (const auto& [name, bytes] : a)
        if (!b.count(name) || b.at(name) != bytes)
            out += " " + name;
    for (const auto& [name, bytes] : b)
        if (!a.count(name))
            out += " +" + name;
    return out;
}

Reading readWithGdal(const std::string& tabPath, const std::string& where, const Envelope* rect) {
    registerDrivers();
    Reading reading;
    const CPLErrorHandlerPusher capture(recordError, &reading.error);
    const GDALDatasetUniquePtr ds(
        GDALDataset::Open(tabPath.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    if (!ds) {
        reading.error = reading.error.empty() ? "GDAL cannot open " + tabPath : reading.error;
        return reading;
    }
    OGRLayer* layer = ds->GetLayer(0);
    if (!where.empty() && layer->SetAttributeFilter(where.c_str()) != OGRERR_NONE)
        reading.error = "bad filter " + where;
    if (rect)
        layer->SetSpatialFilterRect(rect->minX, rect->minY, rect->maxX, rect->maxY);
    for (const auto& f : *layer) {
        Feature& feature = reading.features.emplace_back();
        feature.fid = f->GetFID();
        for (int i = 0; i < f->GetFieldCount(); ++i)
            feature.fields.push_back(f->IsFieldSetAndNotNull(i) ? f->GetFieldAsString(i)
                                                                : "<null>");
        OGREnvelope e;
        if (const OGRGeometry* g = f->GetGeometryRef()) {
            feature.wkt = g->exportToWkt();
            g->getEnvelope(&e);
        }
        reading.envelopes.push_back({e.MinX, e.MinY, e.MaxX, e.MaxY});
        if (const char* style = f->GetStyleString())
            feature.style = style;
    }
    return reading;
}

std::vector<Feature> withoutFids(std::vector<Feature> features) {
    for (Feature& f : features)
        f.fid = 0;
    return features;
}

std::string makeGdalTable(const std::string& folder, const std::string& name,
                          const std::vector<NewField>& fields,
                          const std::function<NewRow(int row)>& feature, int rows,
                          const std::vector<long long>& deleteRows,
                          const std::vector<std::string>& creationOptions) {
    const std::string tab = folder + "/" + name + ".tab";
    registerDrivers();
    std::string error;
    const CPLErrorHandlerPusher capture(recordError, &error);
    CPLStringList dsOptions;
    for (const std::string& option : creationOptions)
        dsOptions.AddString(option.c_str());
    GDALDatasetUniquePtr ds(GetGDALDriverManager()
                                ->GetDriverByName("MapInfo File")
                                ->Create(tab.c_str(), 0, 0, 0, GDT_Unknown, dsOptions.List()));
    if (!ds)
        throw std::runtime_error("GDAL cannot create " + tab + ": " + error);
    const char* options[] = {"BOUNDS=-10000,-10000,10000,10000", nullptr};
    OGRLayer* layer =
        ds->CreateLayer(name.c_str(), nullptr, wkbUnknown, const_cast<char**>(options));
    for (const NewField& field : fields) {
        OGRFieldDefn def(field.name.c_str(), static_cast<OGRFieldType>(field.type));
        def.SetWidth(field.width);
        def.SetPrecision(field.precision);
        layer->CreateField(&def);
    }
    for (const NewField& field : fields)
        if (field.indexed)
            ds->ReleaseResultSet(ds->ExecuteSQL(
                ("CREATE INDEX ON " + name + " USING " + field.name).c_str(), nullptr, nullptr));
    for (int row = 1; row <= rows; ++row) {
        const NewRow made = feature(row);
        OGRFeature f(layer->GetLayerDefn());
        for (std::size_t i = 0; i < made.values.size(); ++i)
            f.SetField(static_cast<int>(i), made.values[i].c_str());
        if (OGRGeometry* g = nullptr; !made.wkt.empty()) {
            OGRGeometryFactory::createFromWkt(made.wkt.c_str(), nullptr, &g);
            f.SetGeometryDirectly(g);
        }
        if (!made.style.empty())
            f.SetStyleString(made.style.c_str());
        if (layer->CreateFeature(&f) != OGRERR_NONE && error.empty())
            error = "cannot write row " + std::to_string(row);
    }
    ds.reset();
    if (!deleteRows.empty() && error.empty()) {
        ds.reset(GDALDataset::Open(tab.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
        if (!ds)
            throw std::runtime_error("GDAL cannot reopen " + tab);
        for (const long long fid : deleteRows)
            if (ds->GetLayer(0)->DeleteFeature(fid) != OGRERR_NONE && error.empty())
                error = "cannot delete row " + std::to_string(fid);
    }
    ds.reset();
    if (!error.empty())
        throw std::runtime_error("GDAL failed making " + tab + ": " + error);
    return tab;
}

} // namespace vantero::standin::test
