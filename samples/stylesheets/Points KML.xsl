<?xml version="1.0" encoding="UTF-8"?>
<!--
  Points KML - the points of a Dexmor job as KML 2.2 placemarks for Google
  Earth and GIS programs: the job's name is the name of the document, and
  there is a folder for each feature code (in the order of the job's code
  list, then codes that are not in it) with one Placemark per point, in the
  order of the job.

  A placemark has the point's name, its description, a style of its code
  (an icon in the code's colour) and its longitude, latitude and elevation
  above sea level (the grid height of the job's height system). KML reads
  WGS84; the job's ETRS89 coordinates are used as they are, since the two
  differ by less than a metre in Europe, far below what an aerial image
  shows. The code, easting, northing, elevation, method and time are in the
  placemark's ExtendedData.

  The style sheet never relies on whitespace-only text nodes, neither in the
  job nor in this file, so the result is the same when such nodes are
  dropped while loading.
-->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns="http://www.opengis.net/kml/2.2">

<xsl:output method="xml" encoding="UTF-8" indent="yes" media-type="application/vnd.google-earth.kml+xml"/>
<xsl:strip-space elements="*"/>

<xsl:variable name="fileExt" select="'kml'"/>

<!-- Settings the user is asked for (definition line, then its current value). -->
<xsl:variable name="userField1" select="'altitudeMode|Altitude mode|STRINGMENU|2|Clamp to ground|Absolute (elevation above sea level)'"/>
<xsl:variable name="altitudeMode" select="'Clamp to ground'"/>

<xsl:key name="points-by-code" match="Point" use="@code"/>
<xsl:key name="code" match="FeatureCodes/Code" use="@name"/>

<xsl:variable name="job" select="/DexmorJob"/>
<xsl:variable name="points" select="/DexmorJob/Points/Point[number(Geographic/@lat) = number(Geographic/@lat)
                                                            and number(Geographic/@lon) = number(Geographic/@lon)]"/>
<xsl:variable name="mode">
  <xsl:choose>
    <xsl:when test="$altitudeMode = 'Clamp to ground'">clampToGround</xsl:when>
    <xsl:otherwise>absolute</xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<!-- KML colours (alpha, blue, green, red) of the sample's codes; any other code is white -->
<xsl:variable name="colours" select="'|CP:ff0000ff|TRAV:ffff00ff|TOPO:ff00ffff|BLDG:ff0080ff|TREE:ff00c000|FENCE:ff1e69d2|KERB:ffc0c0c0|MH:ffffff00|'"/>
<xsl:variable name="idChars" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.'"/>
<xsl:variable name="underscores" select="'________________________________________________________________'"/>

<!-- points whose code comes first in the job: one per code -->
<xsl:variable name="firstOfCode" select="$points[generate-id() = generate-id(key('points-by-code', @code)[1])]"/>

<xsl:template match="/">
  <kml>
    <Document>
      <name><xsl:value-of select="normalize-space($job/JobProperties/Name)"/></name>
      <description>
        <xsl:call-template name="document-description"/>
      </description>
      <xsl:for-each select="$firstOfCode">
        <xsl:call-template name="style"/>
      </xsl:for-each>
      <!-- codes of the code list, in its order, then the others as they come -->
      <xsl:for-each select="$job/FeatureCodes/Code">
        <xsl:variable name="first" select="$firstOfCode[@code = current()/@name]"/>
        <xsl:if test="$first">
          <xsl:for-each select="$first">
            <xsl:call-template name="folder"/>
          </xsl:for-each>
        </xsl:if>
      </xsl:for-each>
      <xsl:for-each select="$firstOfCode[not(key('code', @code))]">
        <xsl:call-template name="folder"/>
      </xsl:for-each>
    </Document>
  </kml>
</xsl:template>

<xsl:template name="document-description">
  <xsl:variable name="p" select="$job/JobProperties"/>
  <xsl:if test="normalize-space($p/Number) != ''">
    <xsl:value-of select="concat('Job ', normalize-space($p/Number), '. ')"/>
  </xsl:if>
  <xsl:if test="normalize-space($p/Description) != ''">
    <xsl:value-of select="concat(normalize-space($p/Description), '. ')"/>
  </xsl:if>
  <xsl:value-of select="concat(count($points), ' points')"/>
  <xsl:if test="$job/CoordinateSystem/Datum/@name">
    <xsl:value-of select="concat(' in ', $job/CoordinateSystem/Datum/@name, ' (shown as WGS84)')"/>
  </xsl:if>
  <xsl:text>; heights are elevations</xsl:text>
  <xsl:if test="$job/CoordinateSystem/VerticalDatum/@name">
    <xsl:value-of select="concat(' in ', $job/CoordinateSystem/VerticalDatum/@name)"/>
  </xsl:if>
  <xsl:text>.</xsl:text>
</xsl:template>

<!-- the style of the context point's code -->
<xsl:template name="style">
  <xsl:variable name="known" select="substring-before(substring-after($colours, concat('|', @code, ':')), '|')"/>
  <Style>
    <xsl:attribute name="id">
      <xsl:call-template name="style-id"/>
    </xsl:attribute>
    <IconStyle>
      <color><xsl:value-of select="concat($known, substring('ffffffff', 1, 8 * not($known)))"/></color>
      <scale>0.8</scale>
      <Icon>
        <href>http://maps.google.com/mapfiles/kml/shapes/placemark_circle.png</href>
      </Icon>
    </IconStyle>
    <LabelStyle>
      <scale>0.7</scale>
    </LabelStyle>
  </Style>
</xsl:template>

<!-- "code-" and the code, with every character that an XML id cannot hold as "_" -->
<xsl:template name="style-id">
  <xsl:variable name="code" select="normalize-space(@code)"/>
  <xsl:value-of select="concat('code-', translate($code, translate($code, $idChars, ''), $underscores))"/>
</xsl:template>

<!-- a folder with the placemarks of the context point's code -->
<xsl:template name="folder">
  <xsl:variable name="meaning" select="key('code', @code)/@description"/>
  <Folder>
    <name>
      <xsl:choose>
        <xsl:when test="normalize-space(@code) = ''">(no code)</xsl:when>
        <xsl:when test="$meaning">
          <xsl:value-of select="concat(normalize-space(@code), ' – ', $meaning)"/>
        </xsl:when>
        <xsl:otherwise>
          <xsl:value-of select="normalize-space(@code)"/>
        </xsl:otherwise>
      </xsl:choose>
    </name>
    <xsl:apply-templates select="key('points-by-code', @code)[number(Geographic/@lat) = number(Geographic/@lat)
                                                             and number(Geographic/@lon) = number(Geographic/@lon)]"/>
  </Folder>
</xsl:template>

<xsl:template match="Point">
  <Placemark>
    <name><xsl:value-of select="normalize-space(@name)"/></name>
    <xsl:if test="normalize-space(Description) != ''">
      <description><xsl:value-of select="normalize-space(Description)"/></description>
    </xsl:if>
    <styleUrl>
      <xsl:text>#</xsl:text>
      <xsl:call-template name="style-id"/>
    </styleUrl>
    <ExtendedData>
      <Data name="code"><value><xsl:value-of select="normalize-space(@code)"/></value></Data>
      <xsl:call-template name="data-number">
        <xsl:with-param name="name" select="'easting'"/>
        <xsl:with-param name="value" select="Grid/@e"/>
      </xsl:call-template>
      <xsl:call-template name="data-number">
        <xsl:with-param name="name" select="'northing'"/>
        <xsl:with-param name="value" select="Grid/@n"/>
      </xsl:call-template>
      <xsl:call-template name="data-number">
        <xsl:with-param name="name" select="'elevation'"/>
        <xsl:with-param name="value" select="Grid/@z"/>
      </xsl:call-template>
      <Data name="method"><value><xsl:value-of select="normalize-space(@method)"/></value></Data>
      <Data name="time"><value><xsl:value-of select="normalize-space(@time)"/></value></Data>
    </ExtendedData>
    <Point>
      <altitudeMode><xsl:value-of select="$mode"/></altitudeMode>
      <coordinates>
        <xsl:value-of select="concat(format-number(Geographic/@lon, '0.000000000'), ',',
                                     format-number(Geographic/@lat, '0.000000000'))"/>
        <xsl:if test="number(Grid/@z) = number(Grid/@z)">
          <xsl:value-of select="concat(',', format-number(Grid/@z, '0.000'))"/>
        </xsl:if>
      </coordinates>
    </Point>
  </Placemark>
</xsl:template>

<xsl:template name="data-number">
  <xsl:param name="name"/>
  <xsl:param name="value"/>
  <xsl:if test="number($value) = number($value)">
    <Data name="{$name}"><value><xsl:value-of select="format-number($value, '0.000')"/></value></Data>
  </xsl:if>
</xsl:template>

</xsl:stylesheet>
