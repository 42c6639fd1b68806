#include "tests/standin/TableSupport.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_api.h>

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
    static const bool registered = (GDALAllRegister(), true);
    (void)registered;
}

} // namespace

std::string testData(const std::string& name) {
    return std::string(VANTERO_TESTDATA) + "/" + name;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

void putLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes.replace(at, 4, le(value, 4));
}

std::string modeName(PackParts mode) {
    return mode.graphic ? (mode.data ? "both" : "graphic") : "data";
}

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
    GDALDatasetH ds =
        GDALOpenEx(tabPath.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!ds) {
        if (reading.error.empty())
            reading.error = "GDAL cannot open " + tabPath;
        return reading;
    }
    OGRLayerH layer = GDALDatasetGetLayer(ds, 0);
    if (!where.empty() && OGR_L_SetAttributeFilter(layer, where.c_str()) != OGRERR_NONE)
        reading.error = "bad filter " + where;
    if (rect)
        OGR_L_SetSpatialFilterRect(layer, rect->minX, rect->minY, rect->maxX, rect->maxY);
    OGR_L_ResetReading(layer);
    while (OGRFeatureH f = OGR_L_GetNextFeature(layer)) {
        Feature feature;
        feature.fid = OGR_F_GetFID(f);
        for (int i = 0; i < OGR_F_GetFieldCount(f); ++i)
            feature.fields.push_back(OGR_F_IsFieldSetAndNotNull(f, i) ? OGR_F_GetFieldAsString(f, i)
                                                                      : "<null>");
        OGREnvelope e;
        if (OGRGeometryH g = OGR_F_GetGeometryRef(f)) {
            char* wkt = nullptr;
            OGR_G_ExportToWkt(g, &wkt);
            feature.wkt = wkt ? wkt : "";
            CPLFree(wkt);
            OGR_G_GetEnvelope(g, &e);
        }
        reading.envelopes.push_back({e.MinX, e.MinY, e.MaxX, e.MaxY});
        if (const char* style = OGR_F_GetStyleString(f))
            feature.style = style;
        reading.features.push_back(std::move(feature));
        OGR_F_Destroy(f);
    }
    GDALClose(ds);
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
    {
        const CPLErrorHandlerPusher capture(recordError, &error);
        CPLStringList dsOptions;
        for (const std::string& option : creationOptions)
            dsOptions.AddString(option.c_str());
        GDALDatasetH ds = GDALCreate(GDALGetDriverByName("MapInfo File"), tab.c_str(), 0, 0, 0,
                                     GDT_Unknown, dsOptions.List());
        if (!ds)
            throw std::runtime_error("GDAL cannot create " + tab + ": " + error);
        const char* options[] = {"BOUNDS=-10000,-10000,10000,10000", nullptr};
        OGRLayerH layer = GDALDatasetCreateLayer(ds, name.c_str(), nullptr, wkbUnknown,
                                                 const_cast<char**>(options));
        for (const NewField& field : fields) {
            OGRFieldDefnH def =
                OGR_Fld_Create(field.name.c_str(), static_cast<OGRFieldType>(field.type));
            OGR_Fld_SetWidth(def, field.width);
            OGR_Fld_SetPrecision(def, field.precision);
            OGR_L_CreateField(layer, def, TRUE);
            OGR_Fld_Destroy(def);
        }
        for (const NewField& field : fields)
            if (field.indexed) {
                const std::string sql = "CREATE INDEX ON " + name + " USING " + field.name;
                if (OGRLayerH result = GDALDatasetExecuteSQL(ds, sql.c_str(), nullptr, nullptr))
                    GDALDatasetReleaseResultSet(ds, result);
            }
        for (int row = 1; row <= rows; ++row) {
            const NewRow made = feature(row);
            OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
            for (std::size_t i = 0; i < made.values.size(); ++i)
                OGR_F_SetFieldString(f, static_cast<int>(i), made.values[i].c_str());
            if (!made.wkt.empty()) {
                OGRGeometryH g = nullptr;
                char* text = const_cast<char*>(made.wkt.c_str());
                OGR_G_CreateFromWkt(&text, nullptr, &g);
                OGR_F_SetGeometryDirectly(f, g);
            }
            if (!made.style.empty())
                OGR_F_SetStyleString(f, made.style.c_str());
            if (OGR_L_CreateFeature(layer, f) != OGRERR_NONE && error.empty())
                error = "cannot write row " + std::to_string(row);
            OGR_F_Destroy(f);
        }
        GDALClose(ds);
        if (!deleteRows.empty() && error.empty()) {
            ds =
                GDALOpenEx(tab.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr);
            if (!ds)
                throw std::runtime_error("GDAL cannot reopen " + tab);
            for (const long long fid : deleteRows)
                if (OGR_L_DeleteFeature(GDALDatasetGetLayer(ds, 0), fid) != OGRERR_NONE &&
                    error.empty())
                    error = "cannot delete row " + std::to_string(fid);
            GDALClose(ds);
        }
    }
    if (!error.empty())
        throw std::runtime_error("GDAL failed making " + tab + ": " + error);
    return tab;
}

} // namespace vantero::standin::test
