<?xml version="1.0" encoding="UTF-8"?>
<!--
  Points GeoJSON - the points of a Dexmor job as a GeoJSON FeatureCollection
  (RFC 7946): one Point feature per point with [longitude, latitude] and,
  when asked for, the ellipsoidal height as the third coordinate, taken from
  the point's geographic coordinates. Properties: name, code, description,
  elevation (the grid height of the job's height system), easting, northing,
  method and time. A point without geographic coordinates gets
  "geometry": null. Strings are escaped for JSON (backslash and double
  quote); the text is UTF-8.

  One feature per line. Line breaks come from an XPath string literal ($nl),
  so the result is the same when whitespace-only text nodes are dropped from
  this file or from the job while loading.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

<xsl:output method="text" encoding="UTF-8" media-type="application/geo+json"/>
<xsl:strip-space elements="*"/>

<xsl:variable name="fileExt" select="'geojson'"/>

<!-- Settings the user is asked for (definition line, then its current value). -->
<xsl:variable name="userField1" select="'withHeight|Ellipsoidal height as third coordinate|STRINGMENU|2|Yes|No'"/>
<xsl:variable name="withHeight" select="'Yes'"/>

<xsl:variable name="nl" select="'&#10;'"/>

<xsl:template match="/">
  <xsl:text>{"type":"FeatureCollection","name":</xsl:text>
  <xsl:call-template name="string">
    <xsl:with-param name="value" select="normalize-space(DexmorJob/JobProperties/Name)"/>
  </xsl:call-template>
  <xsl:text>,"features":[</xsl:text>
  <xsl:value-of select="$nl"/>
  <xsl:for-each select="DexmorJob/Points/Point">
    <xsl:apply-templates select="."/>
    <xsl:if test="position() != last()">
      <xsl:text>,</xsl:text>
    </xsl:if>
    <xsl:value-of select="$nl"/>
  </xsl:for-each>
  <xsl:text>]}</xsl:text>
  <xsl:value-of select="$nl"/>
</xsl:template>

<xsl:template match="Point">
  <xsl:variable name="lat" select="number(Geographic/@lat)"/>
  <xsl:variable name="lon" select="number(Geographic/@lon)"/>
  <xsl:text>{"type":"Feature","geometry":</xsl:text>
  <xsl:choose>
    <xsl:when test="$lat = $lat and $lon = $lon">
      <xsl:value-of select="concat('{&quot;type&quot;:&quot;Point&quot;,&quot;coordinates&quot;:[',
                                   format-number($lon, '0.000000000'), ',',
                                   format-number($lat, '0.000000000'))"/>
      <xsl:if test="$withHeight != 'No' and number(Geographic/@h) = number(Geographic/@h)">
        <xsl:value-of select="concat(',', format-number(Geographic/@h, '0.000'))"/>
      </xsl:if>
      <xsl:text>]}</xsl:text>
    </xsl:when>
    <xsl:otherwise>
      <xsl:text>null</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
  <xsl:text>,"properties":{"name":</xsl:text>
  <xsl:call-template name="string">
    <xsl:with-param name="value" select="normalize-space(@name)"/>
  </xsl:call-template>
  <xsl:text>,"code":</xsl:text>
  <xsl:call-template name="string">
    <xsl:with-param name="value" select="normalize-space(@code)"/>
  </xsl:call-template>
  <xsl:text>,"description":</xsl:text>
  <xsl:call-template name="string">
    <xsl:with-param name="value" select="normalize-space(Description)"/>
  </xsl:call-template>
  <xsl:text>,"elevation":</xsl:text>
  <xsl:call-template name="number">
    <xsl:with-param name="value" select="Grid/@z"/>
  </xsl:call-template>
  <xsl:text>,"easting":</xsl:text>
  <xsl:call-template name="number">
    <xsl:with-param name="value" select="Grid/@e"/>
  </xsl:call-template>
  <xsl:text>,"northing":</xsl:text>
  <xsl:call-template name="number">
    <xsl:with-param name="value" select="Grid/@n"/>
  </xsl:call-template>
  <xsl:text>,"method":</xsl:text>
  <xsl:call-template name="string">
    <xsl:with-param name="value" select="normalize-space(@method)"/>
  </xsl:call-template>
  <xsl:text>,"time":</xsl:text>
  <xsl:call-template name="string">
    <xsl:with-param name="value" select="normalize-space(@time)"/>
  </xsl:call-template>
  <xsl:text>}}</xsl:text>
</xsl:template>

<!-- A JSON number with three decimals, or null. -->
<xsl:template name="number">
  <xsl:param name="value"/>
  <xsl:choose>
    <xsl:when test="string(number($value)) != 'NaN'">
      <xsl:value-of select="format-number($value, '0.000')"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:text>null</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- A JSON string. The value has passed normalize-space, so the only
     characters that need escaping are the backslash and the double quote
     (XML 1.0 allows no other control characters than tab, line feed and
     carriage return, and normalize-space turns those into spaces). -->
<xsl:template name="string">
  <xsl:param name="value"/>
  <xsl:text>"</xsl:text>
  <xsl:call-template name="escape">
    <xsl:with-param name="value" select="$value"/>
  </xsl:call-template>
  <xsl:text>"</xsl:text>
</xsl:template>

<xsl:template name="escape">
  <xsl:param name="value"/>
  <xsl:choose>
    <xsl:when test="contains($value, '\') or contains($value, '&quot;')">
      <!-- the text before whichever of the two comes first -->
      <xsl:variable name="beforeBackslash" select="substring-before($value, '\')"/>
      <xsl:variable name="beforeQuote" select="substring-before($value, '&quot;')"/>
      <xsl:variable name="quoteFirst" select="not(contains($value, '\'))
                                              or (contains($value, '&quot;')
                                                  and string-length($beforeQuote) &lt; string-length($beforeBackslash))"/>
      <xsl:choose>
        <xsl:when test="$quoteFirst">
          <xsl:value-of select="concat($beforeQuote, '\&quot;')"/>
          <xsl:call-template name="escape">
            <xsl:with-param name="value" select="substring-after($value, '&quot;')"/>
          </xsl:call-template>
        </xsl:when>
        <xsl:otherwise>
          <xsl:value-of select="concat($beforeBackslash, '\\')"/>
          <xsl:call-template name="escape">
            <xsl:with-param name="value" select="substring-after($value, '\')"/>
          </xsl:call-template>
        </xsl:otherwise>
      </xsl:choose>
    </xsl:when>
    <xsl:otherwise>
      <xsl:value-of select="$value"/>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

</xsl:stylesheet>
