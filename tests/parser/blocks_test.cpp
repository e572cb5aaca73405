#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "model/globals.h"
#include "parser/parser_test_support.h"

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
    return myLightList->data.light;
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
    EXPECT_EQ(myLightList->color.r, 2) << "light colours have no upper bound";
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
    const LightData& first = myLightList->next->data.light;
    EXPECT_EQ(first.attenuationType, ATTENUATION_D);
    EXPECT_EQ(first.lightRadius, 2);
    EXPECT_EQ(first.lightSamples, 3);
    EXPECT_EQ(myLightList->data.light.position.x, 9) << "the last light declared comes first";
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
    EXPECT_EQ(plane.data.plane.normal.z, -1);
    EXPECT_EQ(plane.data.plane.offset, 5);
    EXPECT_EQ(plane.color.r, 1) << "objects get the current surface";

    const ObjectRecord& sphere = *plane.next;
    ASSERT_EQ(sphere.kind, KIND_SPHERE);
    EXPECT_EQ(sphere.data.sphere.center.z, 3);
    EXPECT_EQ(sphere.data.sphere.radius, 2);
}

}  // namespace
