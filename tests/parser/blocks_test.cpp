#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "model/globals.h"
#include "parser/parser_test_support.h"
#include "primitives/patch.h"

namespace {

const std::string kFrame =
    "settings { output_type \"tga\" output_name \"pic\" }\n"
    "camera { position <0 0 0> look_at <0 1 0> }\n"
    "surface { color 1 1 1 }\n";

double cosineOfHalf(double degrees) {
    return std::cos(degrees * std::numbers::pi / 360);
}

const LightData& onlyLight() {
    EXPECT_NE(myLightList, nullptr);
    EXPECT_EQ(myLightList->next, nullptr);
    return dataOf<LightData>(*myLightList);
}

TEST_F(ParserTest, LightErrors) {
    const std::string place = "position <0 0 5> color 1 1 1\n";
    expectParseErrors({
        {"no brace", "light position", 1, " Opening bracket '{' expected"},
        {"light type", "light {\nlight_type \"area\"", 2, " invalid light type specified"},
        {"zero colour component", "light {\ncolor 1 0 1", 2, " invalid color component(s)"},
        {"radius", "light { radius 0 }", 1, " smooth light radius must be greater than 0"},
        {"light samples", "light {\n\nlight_samples 0", 3,
         " smooth light samples must be greater than 0"},
        {"samples", "light { samples -2 }", 1, " smooth light samples must be greater than 0"},
        {"too many samples", "light {\nsamples 1025", 2,
         " smooth light samples must be at most 1024"},
        {"attenuation written with a capital", "light { attenuation_type \"D2\" }", 1,
         " invalid light attenuation type specified"},
        {"shadow type", "light { shadow_type \"soft\" }", 1, " invalid shadow type specified"},
        {"reserved keyword", "light {\ndirection <0 0 1>", 2,
         " Unkown parameter in light structure"},
        {"target on the light", "light {\n" + place + "target <0 0 5>\n}", 4,
         " Error in light structure - invalid target"},
        {"invalid target is checked before missing keys", "light { target <0 0 0> }", 1,
         " Error in light structure - invalid target"},
        {"colour twice", "light {\n" + place + "color 2 2 2 }", 3,
         " Error in light structure - missing parameters"},
        {"no position", "light { color 1 1 1 }", 1,
         " Error in light structure - missing parameters"},
        {"smooth without radius", "light {\n" + place + "shadow_type \"smooth\" samples 8\n}", 4,
         " Error in light structure - missing parameters"},
        {"smooth without samples", "light { " + place + "shadow_type \"smooth\" radius 1 }", 2,
         " Error in light structure - missing parameters"},
        {"spot without target", "light { " + place + "light_type \"spot\" }", 2,
         " Error in light structure - missing parameters"},
    });
}

TEST_F(ParserTest, LightPresets) {
    ASSERT_EQ(parseSceneText(kFrame + "light { position <1 2 3> color 2 2 2 }").status, 0);
    EXPECT_EQ(iNumLight, 1);
    const LightData& light = onlyLight();
    EXPECT_EQ(dataOf<LightData>(*myLightList).color.r, 2) << "light colours have no upper bound";
    EXPECT_EQ(light.position.y, 2);
    EXPECT_EQ(light.lightType, LIGHT_POINT);
    EXPECT_EQ(light.attenuationType, ATTENUATION_D2);
    EXPECT_EQ(light.shadowType, SHADOW_SHARP);
    EXPECT_DOUBLE_EQ(light.cosMinAngle, 0.9961946980917455);
    EXPECT_DOUBLE_EQ(light.cosMaxAngle, 0.9659258262890683);
    EXPECT_DOUBLE_EQ(length(light.direction), 1) << "an unaimed light still has a unit axis";
}

TEST_F(ParserTest, SpotLightValues) {
    ASSERT_EQ(
        parseSceneText(kFrame + "light { light_type \"spot\" position <0 0 4> target <0 3 0>\n"
                                "  color 1 0.5 0.25 min_angle 20 max_angle 50\n"
                                "  attenuation_type \"none\" shadow_type \"smooth\"\n"
                                "  radius 0.5 light_samples 8 }")
            .status,
        0);
    const LightData& light = onlyLight();
    EXPECT_EQ(light.lightType, LIGHT_SPOT);
    EXPECT_EQ(light.attenuationType, ATTENUATION_NONE);
    EXPECT_EQ(light.shadowType, SHADOW_SMOOTH);
    EXPECT_EQ(light.lightRadius, 0.5);
    EXPECT_EQ(light.lightSamples, 8);
    EXPECT_DOUBLE_EQ(light.cosMinAngle, 0.984807753012208);
    EXPECT_DOUBLE_EQ(light.cosMaxAngle, cosineOfHalf(50));
    EXPECT_DOUBLE_EQ(light.direction.x, 0);
    EXPECT_DOUBLE_EQ(light.direction.y, 0.6);
    EXPECT_DOUBLE_EQ(light.direction.z, -0.8);
}

TEST_F(ParserTest, SharpLightsKeepTheirCheckedRadiusAndSamples) {
    ASSERT_EQ(
        parseSceneText(kFrame + "light { position <0 0 4> color 1 1 1 attenuation_type \"d\"\n"
                                "  radius 2 samples 3 }\n"
                                "light { position <9 0 4> color 1 1 1 }")
            .status,
        0);
    EXPECT_EQ(iNumLight, 2);
    ASSERT_NE(myLightList->next, nullptr);
    const LightData& first = dataOf<LightData>(*myLightList->next);
    EXPECT_EQ(first.attenuationType, ATTENUATION_D);
    EXPECT_EQ(first.lightRadius, 2);
    EXPECT_EQ(first.lightSamples, 3);
    EXPECT_EQ(dataOf<LightData>(*myLightList).position.x, 9)
        << "the last light declared comes first";
}

TEST_F(ParserTest, SphereAndPlaneErrors) {
    expectParseErrors({
        {"sphere without brace", "sphere center", 1, " Opening bracket '{' expected"},
        {"zero radius fails at once", "sphere {\nradius 0\n", 2,
         " sphere radius must be greater than 0"},
        {"negative radius", "sphere { radius -1 }", 1, " sphere radius must be greater than 0"},
        {"centre twice", "sphere { center <0 0 0> center <1 0 0>\nradius 1\n}", 3,
         " error in sphere structure declaration"},
        {"no radius", "sphere { center <0 0 0> }", 1, " error in sphere structure declaration"},
        {"sphere key", "sphere {\nnormal <0 0 1>", 2, " Unkown parameter in sphere structure"},
        {"sphere cut short", "sphere { center <0 0 0>\n", 2,
         " Unkown parameter in sphere structure"},
        {"plane key", "plane {\nradius 1", 2, " Unkown parameter in plane structure"},
        {"plane without distance", "plane { normal <0 0 1> }", 1,
         " error in plane structure declaration"},
        {"zero normal", "plane {\nnormal <0 0 0>\ndistance 1\n}", 4,
         " plane normal cannot be <0 0 0>"},
        {"normal vector", "plane { normal 0 0 1 }", 1,
         " Opening backet '<' expected before x component"},
    });
}

TEST_F(ParserTest, SphereAndPlaneReachTheirConstructors) {
    ASSERT_EQ(parseSceneText(kFrame + "sphere { radius 2 center <1 2 3> }\n"
                                      "plane { normal <0 0 1> distance 5 }\n")
                  .status,
              0);
    EXPECT_EQ(iNumSphere, 1);
    EXPECT_EQ(iNumPlane, 1);
    EXPECT_EQ(nPrims, 2);

    const ObjectRecord& plane = *myObjectList;
    ASSERT_EQ(plane.kind, KIND_PLANE);
    EXPECT_EQ(dataOf<PlaneData>(plane).normal.z, -1);
    EXPECT_EQ(dataOf<PlaneData>(plane).offset, 5);
    EXPECT_EQ(plane.surface->color.r, 1) << "objects get the current surface";

    const ObjectRecord& sphere = *plane.next;
    ASSERT_EQ(sphere.kind, KIND_SPHERE);
    EXPECT_EQ(dataOf<SphereData>(sphere).center.z, 3);
    EXPECT_EQ(dataOf<SphereData>(sphere).radius, 2);
}

}  // namespace

namespace {

TEST_F(ParserTest, DiscAndRingErrors) {
    const std::string disc = "center <0 0 0> normal <0 0 1>";
    const std::string ring = "center <0 0 0> normal <0 0 1> internal_radius 1";
    expectParseErrors({
        {"disc key", "disc {\ncap <0 0 0>", 2, " Unkown parameter in disc structure"},
        {"disc without radius", "disc { " + disc + " }", 1,
         " missing parameter(s) in disc structure"},
        {"disc radius twice", "disc { " + disc + " radius 1 radius 2\n}", 2,
         " missing parameter(s) in disc structure"},
        {"disc radius zero", "disc { " + disc + " radius 0 }", 1,
         " radius cannot be null or negative"},
        {"disc without a normal direction", "disc { center <0 0 0> normal <0 0 0> radius 1 }", 1,
         " disc normal cannot be <0 0 0>"},
        {"ring key", "ring {\nradius 1", 2, " Unkown parameter in ring structure"},
        {"ring without external radius", "ring { " + ring + " }", 1,
         " missing parameter(s) in ring structure"},
        {"ring negative radius", "ring { " + ring + " external_radius -2 }", 1,
         " external and internal radius cannot be null or negative"},
        {"ring zero radius",
         "ring { center <0 0 0> normal <0 0 1> internal_radius 0 "
         "external_radius 2 }",
         1, " external and internal radius cannot be null or negative"},
        {"ring equal radii", "ring { " + ring + "\nexternal_radius 1\n}", 3,
         " both radius are equal"},
        {"ring without a normal direction",
         "ring { center <0 0 0> normal <0 0 0> internal_radius 1 external_radius 2 }", 1,
         " ring normal cannot be <0 0 0>"},
    });
}

TEST_F(ParserTest, ConeAndCylinderErrors) {
    const std::string ends = "base <0 0 0> cap <0 0 2>";
    expectParseErrors({
        {"cylinder key", "cylinder {\nbase_radius 1", 2, " Unkown parameter in cylinder structure"},
        {"cylinder without cap", "cylinder { base <0 0 0> radius 1 }", 1,
         " error in cylinder structure declaration"},
        {"cylinder radius zero", "cylinder { " + ends + " radius 0 }", 1,
         " radius cannot be null or negative"},
        {"cylinder without length", "cylinder { base <1 2 3> cap <1 2 3> radius 1 }", 1,
         " cylinder base and cap cannot be the same point"},
        {"cone key", "cone {\nradius 1", 2, " Unkown parameter in cone structure"},
        {"cone radius twice", "cone { " + ends + " base_radius 1 base_radius 2 cap_radius 1 }", 1,
         " Error in cone structure"},
        {"cone both radii zero", "cone { " + ends + " base_radius 0 cap_radius 0 }", 1,
         " base radius and cap radius cannot be both null"},
        {"cone negative radius", "cone { " + ends + " base_radius -1 cap_radius 1 }", 1,
         " base radius or cap radius cannot be negative"},
        {"cone without length", "cone { base <0 0 0> cap <0 0 0> base_radius 1 cap_radius 0 }", 1,
         " cone base and cap cannot be the same point"},
    });
}

TEST_F(ParserTest, PolygonTriangleAndPatchErrors) {
    const std::string square = "vertex <0 0 0> vertex <1 0 0> vertex <1 1 0> vertex <0 1 0>";
    const std::string v3 = "vertex <0 0 0> vertex <1 0 0> vertex <0 1 0>";
    const std::string n3 = "normal <0 0 1> normal <0 0 1> normal <0 0 1>";
    expectParseErrors({
        {"polygon count", "polygon { vertex", 1, " Integer value expected"},
        {"polygon of three", "polygon {\n3", 2, " valid number of vertices expected"},
        {"polygon key", "polygon { 4 normal <0 0 1>", 1, " Unkown parameter in polygon structure"},
        {"polygon fifth vertex", "polygon { 4 " + square + "\nvertex", 2,
         " Too many vertices in polygon structure"},
        {"polygon short", "polygon { 5 " + square + " }", 1,
         " Too few vertices in polygon structure"},
        {"polygon on a line",
         "polygon { 4 vertex <0 0 0> vertex <1 0 0> vertex <2 0 0> vertex <3 0 0> }", 1,
         " polygon vertices do not span a plane"},
        {"triangle key", "triangle { normal", 1, " Unkown parameter in triangle structure"},
        {"triangle fourth vertex", "triangle { " + v3 + " vertex", 1,
         " Too many vertices in triangle structure"},
        {"triangle of two", "triangle { vertex <0 0 0> vertex <1 0 0>\n}", 2,
         " Too few vertices in triangle structure"},
        {"triangle of one point", "triangle { vertex <1 1 1> vertex <1 1 1> vertex <1 1 1> }", 1,
         " triangle vertices do not span a plane"},
        {"patch key", "patch { center", 1, " Unkown parameter in patch structure"},
        {"patch fourth vertex", "patch { " + v3 + " vertex", 1,
         " Too many vertices in patch structure"},
        {"patch fourth normal", "smooth_triangle { " + n3 + " normal", 1,
         " Too many normals in patch structure"},
        {"patch short of vertices", "patch { " + n3 + " vertex <0 0 0> }", 1,
         " Too few vertices in patch structure"},
        {"patch short of normals", "patch { " + v3 + " normal <0 0 1> normal <0 0 1> }", 1,
         " Too few normals in patch structure"},
        {"patch on a line", "patch { vertex <0 0 0> vertex <1 1 1> vertex <2 2 2> " + n3 + " }", 1,
         " patch vertices do not span a plane"},
    });
}

TEST_F(ParserTest, DiscsAndRingsReachTheirConstructor) {
    ASSERT_EQ(parseSceneText(kFrame + "disc { center <1 2 3> normal <0 0 2> radius 2 }\n"
                                      "ring { center <0 0 0> normal <0 1 0> internal_radius 3 "
                                      "external_radius 1 }\n")
                  .status,
              0);
    EXPECT_EQ(iNumDisc, 1);
    EXPECT_EQ(iNumRing, 1);
    const RingData& ring = dataOf<RingData>(*myObjectList);
    EXPECT_EQ(ring.innerRadiusSquared, 1) << "the smaller radius is the inner one";
    EXPECT_EQ(ring.outerRadiusSquared, 9);
    const RingData& disc = dataOf<RingData>(*myObjectList->next);
    EXPECT_EQ(myObjectList->next->kind, KIND_RING);
    EXPECT_EQ(disc.innerRadiusSquared, 0);
    EXPECT_EQ(disc.outerRadiusSquared, 4);
    EXPECT_EQ(disc.center.z, 3);
    EXPECT_EQ(disc.normal.z, 1) << "the normal is stored with unit length";
}

TEST_F(ParserTest, ConesAndCylindersReachTheirConstructor) {
    ASSERT_EQ(
        parseSceneText(kFrame + "cylinder { base <0 0 0> cap <0 2 0> radius 0.5 }\n"
                                "cone { cap <0 0 1> base <0 0 0> base_radius 0 cap_radius 1 }\n")
            .status,
        0);
    EXPECT_EQ(iNumCylinder, 1);
    EXPECT_EQ(iNumCone, 1);
    const ConeData& cone = dataOf<ConeData>(*myObjectList);
    EXPECT_EQ(cone.baseRadius, 0) << "a pointed cone is accepted";
    EXPECT_EQ(cone.capRadius, 1);
    const ConeData& cylinder = dataOf<ConeData>(*myObjectList->next);
    EXPECT_EQ(cylinder.baseRadius, 0.5);
    EXPECT_EQ(cylinder.capRadius, 0.5);
    EXPECT_EQ(cylinder.capCenter.y, 2);
}

TEST_F(ParserTest, FacesReachTheirConstructors) {
    ASSERT_EQ(
        parseSceneText(kFrame + "polygon { 4 vertex <0 0 0> vertex <1 0 0> vertex <1 0 1> "
                                "vertex <0 0 1> }\n"
                                "triangle { vertex <0 0 0> vertex <1 0 0> vertex <0 0 1> }\n"
                                "patch { vertex <0 0 0> normal <0 -1 0> vertex <1 0 0>\n"
                                "  normal <0 -1 0> vertex <0 0 1> normal <0 -1 0> }\n"
                                "smooth_triangle { vertex <0 0 0> vertex <1 0 0> vertex <0 0 1>\n"
                                "  normal <0 -1 0> normal <0 -1 0> normal <0 -1 0> }\n")
            .status,
        0);
    EXPECT_EQ(iNumPolygone, 1);
    EXPECT_EQ(iNumTriangle, 1);
    EXPECT_EQ(iNumPatch, 2) << "smooth triangles count as patches";
    const ObjectRecord* smooth = myObjectList;
    const ObjectRecord* patch = smooth->next;
    ASSERT_EQ(smooth->kind, KIND_PATCH);
    ASSERT_EQ(patch->kind, KIND_PATCH);
    // Interleaved and grouped vertex and normal keys make the same patch.
    EXPECT_EQ(patchVertex(*smooth, 1).x, patchVertex(*patch, 1).x);
    EXPECT_EQ(patchCornerNormal(*smooth, 2).y, patchCornerNormal(*patch, 2).y);
    EXPECT_EQ(patch->next->kind, KIND_TRIANGLE);
    const ObjectRecord& polygon = *patch->next->next;
    ASSERT_EQ(polygon.kind, KIND_POLYGON);
    EXPECT_EQ(dataOf<PolygonData>(polygon).vertexCount, 4);
    EXPECT_EQ(dataOf<PolygonData>(polygon).vertices[2].z, 1);
}

}  // namespace
