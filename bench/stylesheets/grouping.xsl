<?xml version="1.0" encoding="UTF-8"?>
<!-- Points grouped by code and by method, observations by station: the grouping idioms that
     style sheets written for the original platform use, with counts and sums per group. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="text" encoding="UTF-8"/>

<xsl:key name="by-code" match="Point" use="@code"/>
<xsl:key name="by-method" match="Point" use="@method"/>
<xsl:key name="by-station" match="Observation" use="../@station"/>

<xsl:template match="/">
  <xsl:text>code,points,height sum&#10;</xsl:text>
  <xsl:for-each select="//Point[generate-id() = generate-id(key('by-code', @code)[1])]">
    <xsl:sort select="@code"/>
    <xsl:value-of select="concat(@code, ',', count(key('by-code', @code)), ',',
                                 format-number(sum(key('by-code', @code)/Grid/@z), '0.000'), '&#10;')"/>
  </xsl:for-each>
  <xsl:text>method,points&#10;</xsl:text>
  <xsl:for-each select="//Point[generate-id() = generate-id(key('by-method', @method))]">
    <xsl:value-of select="concat(@method, ',', count(key('by-method', @method)), '&#10;')"/>
  </xsl:for-each>
  <xsl:text>station,observations,slope distance sum&#10;</xsl:text>
  <xsl:for-each select="//Observation[count(. | key('by-station', ../@station)[1]) = 1]">
    <xsl:value-of select="concat(../@station, ',', count(key('by-station', ../@station)), ',',
                                 format-number(sum(key('by-station', ../@station)/@sd), '0.000'), '&#10;')"/>
  </xsl:for-each>
</xsl:template>

</xsl:stylesheet>
